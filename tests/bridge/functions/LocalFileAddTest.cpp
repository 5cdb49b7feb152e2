// Adding local files and folders to a library from a page: their names,
// their copy into a linked folder under a progress window that can stop
// it, and the hand-over to the sync manager, against the sync test world.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "bridge/functions/LocalFileAdd.h"
#include "bridge/functions/PageWorld.h"
#include "foundation/util/UtilStatus.h"
#include "support/FakeCopyWindows.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

class LocalFileAddTest : public PageWorld {
 protected:
  void SetUp() override {
    PageWorld::SetUp();
    addServerFolder("docs");
    addServerFolder("pics");
    linkFolder("docs", "Docs");
    runCoordinatorPass();
    runComparePass();
    fs::create_directories(source());
  }
  void TearDown() override {
    bridge::setCopyItemObserver(nullptr);
    pumpMainThread();
    PageWorld::TearDown();
  }

  fs::path source() const { return home() / "Source"; }
  std::string put(const std::string& relative, const std::string& bytes = "x") {
    const fs::path path = source() / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  std::string add(const std::vector<std::string>& paths, const std::string& parent = "docs",
                  const std::string& type = "save") {
    std::vector<JsonValue> list;
    for (const std::string& path : paths) list.push_back(JsonValue::object({{"path", path}}));
    return run("gAdd", json(JsonValue::object({{"parent", parent},
                                               {"mount_id", kMountId},
                                               {"type", type},
                                               {"list", JsonValue::array(std::move(list))}})))
        .value_or("");
  }
  // The names the manager recorded, from its answer.
  static std::vector<std::string> recorded(const std::string& answerText) {
    std::vector<std::string> paths;
    const auto value = dictionaryFromString(answerText);
    if (!value) return paths;
    for (const JsonValue& item : (*value)["list"].elements()) {
      paths.push_back(std::string(item["path"].asString()));
    }
    return paths;
  }
  // Waits until a progress window opened and every one has closed.
  bool windowsClosed() {
    return pumpMainThreadUntil([&] {
      if (windows_->progress().empty()) return false;
      for (const auto& record : windows_->progress()) {
        if (!record.closed) return false;
      }
      return true;
    });
  }

  ScopedFakeCopyWindows windows_;
};

TEST_F(LocalFileAddTest, IllegalNamesBecomeUnderscoresNumberedWithinTheList) {
  const std::string colon = put("one/a:b", "1");
  const std::string star = put("two/a*b", "2");
  add({colon, star});
  EXPECT_EQ(readLocal("Docs/a_b"), "1");
  EXPECT_EQ(readLocal("Docs/a_b(2)"), "2");
  EXPECT_EQ(app().count("setGrowlNotificationDescripation"), 2u);
}

TEST_F(LocalFileAddTest, EdgeSpacesAreTrimmedAndANameOfSpacesBecomesAnUnderscore) {
  const std::string trailing = put("x.txt ", "t");
  const std::string spaces = put("  ", "s");
  add({trailing, spaces});
  EXPECT_EQ(readLocal("Docs/x.txt"), "t");
  EXPECT_EQ(readLocal("Docs/_"), "s");
}

TEST_F(LocalFileAddTest, AFolderIsCopiedWithoutItsSymbolicLinks) {
  put("f/in.txt", "inside");
  put("f/deeper/b.txt", "b");
  fs::create_symlink(put("elsewhere.txt"), source() / "f" / "ln");
  add({(source() / "f").string()});
  EXPECT_EQ(readLocal("Docs/f/in.txt"), "inside");
  EXPECT_EQ(readLocal("Docs/f/deeper/b.txt"), "b");
  EXPECT_FALSE(fs::exists(fs::symlink_status(local("Docs/f/ln"))));
  EXPECT_TRUE(storeRows().contains("docs/f")) << "handed to the manager";
  ASSERT_TRUE(windowsClosed());
  ASSERT_EQ(windows_->progress().size(), 1u);
  EXPECT_EQ(windows_->progress()[0].labels.action, "正在拷贝4个项目") << "the folder and what it holds";
  EXPECT_EQ(windows_->progress()[0].percents.back(), 100);
}

TEST_F(LocalFileAddTest, ATargetOutsideTheLinksIsNotCopiedAndOpensNoWindow) {
  const std::string file = put("p.png", "png");
  const std::string answerText = add({file}, "pics");
  EXPECT_EQ(recorded(answerText), std::vector<std::string>{"pics/p.png"});
  pumpMainThread();
  EXPECT_TRUE(windows_->progress().empty());
  EXPECT_FALSE(fs::exists(local("Docs/p.png")));
}

TEST_F(LocalFileAddTest, AnswersBeforeAnythingIsCopied) {
  const std::string file = put("a.txt");
  EXPECT_EQ(add({file}, "docs", "open"), "{}");
  EXPECT_FALSE(fs::exists(local("Docs/a.txt")));
  EXPECT_EQ(answer("gAdd", R"({"list":{}})")["error"].asInt64(), Util::kBadParameters);
  EXPECT_EQ(answer("gAdd", R"({"parent":"docs","mount_id":7,"list":[1,{"path":"/x/.hidden"}]})")
                ["error"].asInt64(),
            0)
      << "nothing taken";
  EXPECT_EQ(answer("gAdd", json(JsonValue::object(
                               {{"parent", "docs"},
                                {"mount_id", 999},
                                {"list", JsonValue::array({JsonValue::object({{"path", file}})})}})))
                ["error"].asInt64(),
            Util::kNoSuchSync);
  EXPECT_EQ(add({file}, "docs/../.."), json(JsonValue::object(
                                           {{"error", 10007},
                                            {"message", Util::GetMyErrorMessage(10007)}})));
}

TEST_F(LocalFileAddTest, AStopHalfWayAnswersAnEmptyListAndRecordsNothing) {
  const std::string first = put("1.txt");
  const std::string second = put("2.txt");
  const std::string third = put("3.txt");
  bridge::setCopyItemObserver([&](const CopyItem& item, CopyJob& job) {
    if (item.oldpath == second) job.cancel();  // as the window's cancel button would
  });
  EXPECT_EQ(add({first, second, third}), R"({"list":[]})");
  EXPECT_TRUE(fs::exists(local("Docs/1.txt"))) << "copied before the stop, and kept";
  EXPECT_FALSE(fs::exists(local("Docs/2.txt")));
  EXPECT_FALSE(storeRows().contains("docs/1.txt")) << "the manager is not told";
}

TEST_F(LocalFileAddTest, AFailedCopyKeepsTheFileThatWasThere) {
  writeLocal("Docs/keep.txt", "old");
  CopyItem item;
  item.webpath = "docs/keep.txt";
  item.oldpath = (source() / "vanished.txt").string();
  item.newpath = local("Docs/keep.txt").string();
  item.sumsize = 3;
  CopyJob job({item});
  EXPECT_EQ(bridge::files_copy(job), std::vector<std::string>{"docs/keep.txt"});
  EXPECT_EQ(readLocal("Docs/keep.txt"), "old");
  EXPECT_TRUE(job.isDone());
}

TEST_F(LocalFileAddTest, StoppingOneOfTwoConcurrentCopiesLeavesTheOther) {
  const auto itemFor = [&](const std::string& name) {
    CopyItem item;
    item.oldpath = put(name, name);
    item.newpath = local("Docs/" + name).string();
    item.webpath = "docs/" + name;
    return item;
  };
  CopyJob stopped({itemFor("s1"), itemFor("s2")});
  CopyJob going({itemFor("g1"), itemFor("g2")});
  stopped.cancel();
  std::thread one([&] { bridge::files_copy(stopped); });
  std::thread two([&] { bridge::files_copy(going); });
  one.join();
  two.join();
  EXPECT_FALSE(fs::exists(local("Docs/s1")));
  EXPECT_EQ(readLocal("Docs/g1"), "g1");
  EXPECT_EQ(readLocal("Docs/g2"), "g2");
  EXPECT_FALSE(going.isCancelled());
}

}  // namespace
}  // namespace nb::test
