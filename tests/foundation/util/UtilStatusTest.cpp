#include <gtest/gtest.h>

#include "foundation/json/Json.h"
#include "foundation/util/UtilStatus.h"
#include "support/FakeAppState.h"

namespace nb::Util {
namespace {

class UtilStatusTest : public ::testing::Test {
 protected:
  test::ScopedAppState app;
};

TEST_F(UtilStatusTest, CodesCarryTheirTableTextInTheChosenLanguage) {
  struct Case {
    std::int64_t code;
    const char* zhCn;
    const char* en;
  };
  const Case cases[] = {
      {0, "", ""},
      {1, "", ""},
      {10000, "文件已存在", "A file with this name already exists"},
      {10001, "网络未连接", "The network is not connected"},
      {10002, "", ""},
      {10003, "", ""},
      {10004, "不能移动到子目录下", "A folder cannot be moved into its own sub-folder"},
      {10005, "同步不存在", "This synced library does not exist"},
      {10006, "设置同步失败", "Setting up the sync failed"},
      {10007, "参数格式不正确", "The parameters are malformed"},
      {10008, "还没有获取到服务器地址", "The server address has not been received yet"},
      {10009, "不支持Emoji表情字符作为文件名", "Emoji characters are not allowed in file names"},
      {10010, "不能复制到子目录下", "A folder cannot be copied into its own sub-folder"},
      {10011, "", ""},
      {10012, "文件夹已存在", "A folder with this name already exists"},
      {10013, "", ""},
      {12345, "", ""},
      {-1, "", ""},
  };
  for (const Case& c : cases) {
    app->setLanguage("zh-cn");
    EXPECT_EQ(GetMyErrorMessage(c.code), c.zhCn) << c.code;
    app->setLanguage("en-us");
    EXPECT_EQ(GetMyErrorMessage(c.code), c.en) << c.code;
  }
  app->setLanguage("zh-tw");
  EXPECT_EQ(GetMyErrorMessage(10012), "資料夾已存在");
}

TEST_F(UtilStatusTest, AnswerIsCompactJsonWithCodeAndMessage) {
  app->setLanguage("zh-cn");
  EXPECT_EQ(errorInfoWithCode(0), R"({"error":0,"message":""})");
  EXPECT_EQ(errorInfoWithCode(10011), R"({"error":10011,"message":""})");
  EXPECT_EQ(errorInfoWithCode(10000), R"({"error":10000,"message":"文件已存在"})");
  EXPECT_EQ(errorInfoWithCode(10011, "名字\"太长\""),
            R"({"error":10011,"message":"名字\"太长\""})");
  EXPECT_EQ(errorInfoWithCode(403212, "space"), R"({"error":403212,"message":"space"})");
}

TEST_F(UtilStatusTest, JsonInfoParsesObjectsAndArraysOnly) {
  EXPECT_TRUE(dictionaryWithJsonInfo(R"({"a":1})").has_value());
  EXPECT_TRUE(dictionaryWithJsonInfo("[1,2]").has_value());
  for (const char* bad : {"", "1", "\"x\"", "{", "{\"a\":}", "null"}) {
    EXPECT_FALSE(dictionaryWithJsonInfo(bad).has_value()) << bad;
  }
}

TEST(UtilPageStatus, MapsRecordStatusAndLinkType) {
  struct Case {
    std::int64_t status;
    std::int64_t linkType;
    int page;
  };
  const Case cases[] = {{0, 0, 0}, {1, 0, 1}, {8, 1, 1}, {2, 0, 2}, {3, 0, 3}, {4, 1, 3},
                        {5, 0, 3}, {6, 0, 3}, {7, 1, 3}, {9, 0, 2}, {9, 1, 3}, {9, 2, 3},
                        {10, 0, 0}, {-1, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(changestatus(c.status, c.linkType), c.page) << c.status << "/" << c.linkType;
  }
}

TEST(UtilPageStatus, StorageFullIsExactlyTheFourCodes) {
  for (std::int64_t code : {403212, 403218, 403219, 40321}) {
    EXPECT_TRUE(checkServerSpaceMax(code)) << code;
  }
  for (std::int64_t code : {403211, 403213, 403217, 403220, 40320, 40322, 0}) {
    EXPECT_FALSE(checkServerSpaceMax(code)) << code;
  }
}

TEST(UtilPageStatus, NoteIsExactlyUnopen) {
  EXPECT_TRUE(CheckNote("unopen"));
  for (const char* other : {"", "Unopen", "unopen ", "open"}) {
    EXPECT_FALSE(CheckNote(other)) << other;
  }
}

}  // namespace
}  // namespace nb::Util
