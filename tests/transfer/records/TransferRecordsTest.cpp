// The failure texts the engine stores with its own numbers.

#include <gtest/gtest.h>

#include "support/FakeAppState.h"
#include "transfer/records/TransferRecords.h"

namespace nb::test {
namespace {

TEST(TransferRecordsTest, EachFailureNumberCarriesItsText) {
  struct Case {
    std::int64_t error;
    bool upload;
    const char* text;
  };
  const Case cases[] = {
      {5, true, "打开文件失败"},  {5, false, "file open error"},
      {7, true, ""},             {8, true, ""},
      {9, true, ""},             {10, true, ""},
      {12, true, ""},            {13, true, "文件读取失败"},
      {16, true, ""},            {21, true, "文件信息不正确"},
      {21, false, "failed"},     {23, true, ""},
      {23, false, "Timeout"},    {0, false, "file error"},
      {1001, false, "server timeout"}, {40310, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.error << (c.upload ? " up" : " down"));
    EXPECT_EQ(transErrorText(c.error, c.upload), c.text);
  }
}

TEST(TransferRecordsTest, NoSourceOnInternalStorageIsLocalized) {
  ScopedAppState app;
  app->setLanguage("zh-cn");
  EXPECT_EQ(transErrorText(23, false, true), "内部存储下载失败");
}

TEST(TransferRecordsTest, RetryLaterIsNeverStored) {
  EXPECT_FALSE(isStoredTransError(TransError::kRetryLater));
  EXPECT_TRUE(isStoredTransError(TransError::kHash));
}

}  // namespace
}  // namespace nb::test
