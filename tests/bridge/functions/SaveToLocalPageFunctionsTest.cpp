// Saving library items into a local folder from pages, against the sync
// test world with the save job running on the task queue.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bridge/functions/PageWorld.h"
#include "bridge/functions/SaveToLocalPageFunctions.h"
#include "stores/transfer/TransPortDB.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

class SaveToLocalPagesTest : public PageWorld {
 protected:
  void SetUp() override {
    PageWorld::SetUp();
    target = home() / "Saved";
    fs::create_directories(target);
  }
  void touch(const std::string& name) { std::ofstream(target / name) << "x"; }
  std::string entry(const std::string& webpath, const std::string& local, bool keepboth,
                    std::int64_t mountid = kMountId) {
    return R"({"mount_id":)" + std::to_string(mountid) + R"(,"webpath":")" + webpath +
           R"(","dir":0,"hid":"","fullpath":")" + (target / local).string() +
           R"(","keepboth":)" + (keepboth ? "true" : "false") + "}";
  }
  // The local paths the save queued, in the store's order.
  std::string queuedPath(const std::string& webpath) {
    return TransPortDB::shareTransPortDB().Get_Download(kMountId, webpath).strFullpath;
  }
  void drain() {
    app().taskQueue()->waitUntilAllOperationsAreFinished();
    pumpMainThread();
  }
  // The last answer the page's callback got.
  std::string lastCallbackAnswer() {
    pumpMainThread();
    if (window->functionCalls().empty()) return {};
    const auto arg = dictionaryFromString(window->functionCalls().back().argument);
    return arg ? std::string((*arg)["answer"].asString()) : std::string();
  }

  fs::path target;
};

TEST_F(SaveToLocalPagesTest, KeepBothNumbersTheWebNameInTheTargetFolder) {
  for (const char* name : {"report.pdf", "report(2).pdf", "local name.pdf", "notes", "keep.txt"}) {
    touch(name);
  }
  struct Case {
    std::string webpath, local;
    bool keepboth;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"docs/report.pdf", "report.pdf", true, "report(3).pdf"},
      {"docs/web name.pdf", "local name.pdf", true, "web name(2).pdf"},
      {"docs/notes", "notes", true, "notes(2)"},
      {"docs/keep.txt", "keep.txt", false, "keep.txt"},
      {"docs/fresh.txt", "fresh.txt", true, "fresh.txt"},
  };
  for (const Case& c : cases) putServerFile(c.webpath, "content of " + c.webpath);
  std::string list;
  for (const Case& c : cases) list += (list.empty() ? "" : ",") + entry(c.webpath, c.local, c.keepboth);
  EXPECT_EQ(answer("gSaveToLocal", R"({"list":[)" + list + "]}"),
            JsonValue::object({{"error", 0}, {"message", ""}}));
  drain();
  for (const Case& c : cases) {
    EXPECT_EQ(queuedPath(c.webpath), (target / c.expected).string()) << c.webpath;
  }
}

TEST_F(SaveToLocalPagesTest, WithoutALibraryOrWebPathNothingIsRenamed) {
  touch("a.txt");
  const std::string taken = (target / "a.txt").string();
  for (auto [mountid, webpath] : {std::pair<std::int64_t, std::string>{0, "docs/a.txt"},
                                  {kMountId, ""}}) {
    transfer::SaveItem item;
    item._mountid = mountid;
    item._webpath = webpath;
    item._fullpath = taken;
    item.bKeepBoth = true;
    bridge::applyKeepBoth(item);
    EXPECT_EQ(item._fullpath, taken) << mountid << " " << webpath;
  }
}

TEST_F(SaveToLocalPagesTest, AFolderQueuesTheDownloadsOfItsContents) {
  putServerFile("docs/in/one.txt", "1");
  putServerFile("docs/in/deep/two.txt", "22");
  const std::string json = R"({"list":[{"mount_id":)" + std::to_string(kMountId) +
                           R"(,"webpath":"docs/in","dir":1,"fullpath":")" +
                           (target / "in").string() + R"("}]})";
  EXPECT_EQ(answer("gSaveToLocal", json)["error"].asInt64(), 0);
  drain();
  EXPECT_EQ(queuedPath("docs/in/one.txt"), (target / "in/one.txt").string());
  EXPECT_EQ(queuedPath("docs/in/deep/two.txt"), (target / "in/deep/two.txt").string());
}

TEST_F(SaveToLocalPagesTest, BadListsAndChatFiles) {
  EXPECT_EQ(answer("gSaveToLocal", R"({"list":{}})"), JsonValue::object({}));
  EXPECT_EQ(answer("gSaveToLocal", "[]"), JsonValue::object({}));
  EXPECT_EQ(answer("gSaveToLocalByDialog", R"({"list":7})"), JsonValue::object({}));
  EXPECT_EQ(answer("gSaveToLocal", R"({"list":[]})")["error"].asInt64(), 0);
  const std::string bad = R"({"message_id":"m","dialog_id":"d","list":[{"mount_id":)" +
                          std::to_string(kMountId) +
                          R"(,"webpath":"chat/x.txt","filehash":"../../x","fullpath":")" +
                          (target / "x.txt").string() + R"("}]})";
  EXPECT_EQ(answer("gSaveToLocalByDialog", bad)["error"].asInt64(), 0);
  drain();
  EXPECT_EQ(TransPortDB::shareTransPortDB().GetDownloadCountAll(), 0)
      << "a malformed content hash never names a file";
}

TEST_F(SaveToLocalPagesTest, TheFolderQuestionAnswersFromTheChooser) {
  ui->dialogs().answerNextFolder((target / "").string());
  EXPECT_FALSE(run("gGetLocalPathBySave", "", "cb1").has_value());
  EXPECT_EQ(lastCallbackAnswer(), R"({"path":")" + target.string() + R"("})");
  ui->dialogs().answerNextFolder(std::nullopt);
  run("gGetLocalPathBySave", "", "cb2");
  EXPECT_EQ(lastCallbackAnswer(), R"({"path":""})");
}

}  // namespace
}  // namespace nb::test
