// Adding files and folders of the computer from a page, and the list of
// folders being added that lets a page deletion stop the background add.
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "sync/operations/AddScan.h"
#include "sync/operations/PageOpsWorld.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class AddFilesTest : public PageOpsWorld {
 protected:
  void SetUp() override {
    PageOpsWorld::SetUp();
    startLinked();
    // The folder add job as the transfer engine runs it, on the task queue.
    setAddScanStarter([this](int64_t, const std::string& webpath, const std::string& fullpath) {
      ++scans_;
      if (holdScans_) return true;
      app().taskQueue()->addOperation([this, webpath, fullpath] {
        scanResult_ = m().AddUploadSubFiles(webpath, fullpath, webpath);
        m().deladlist(webpath);
      });
      return true;
    });
  }
  void TearDown() override {
    setAddScanStarter({});
    PageOpsWorld::TearDown();
  }

  // A folder outside the linked folder, as a user picks it.
  std::string outside(const std::string& relative) { return (home() / "Picked" / relative).string(); }
  void writeOutside(const std::string& relative, const std::string& bytes) {
    writeLocal((home() / "Picked" / relative).string(), bytes);
  }
  static JsonValue listOf(const std::string& answer) {
    const auto json = objectFromJSONString(answer);
    return json ? (*json)["list"] : JsonValue();
  }

  int scans_ = 0;
  bool holdScans_ = false;
  bool scanResult_ = false;
};

TEST_F(AddFilesTest, AFolderOutsideLinksIsOnePlainUploadAndOneBackgroundAdd) {
  addServerFolder("other");
  writeOutside("pics/a.jpg", "aaa");
  writeOutside("pics/deep/b.jpg", "bbbb");
  writeOutside("pics/.hidden", "h");
  writeOutside("pics/.DS_Store", "h");

  network().clear();
  app().setPromptMessage(true);
  const JsonValue list = listOf(m().gAddFile("other", {item(outside("pics"), "other/pics")}));
  ASSERT_EQ(app().count("setGrowlNotificationDescripation"), 1U);
  for (const auto& call : app().calls()) {
    if (call.name == "setGrowlNotificationDescripation") {
      EXPECT_EQ(call.argument, "[pics] 正在上传,请勿删除原文件");
    }
  }
  EXPECT_EQ(network().calls().front().name, "AddTransAction");
  EXPECT_EQ(network().calls().back().name, "DelTransAction");
  ASSERT_EQ(list.size(), 1U);
  EXPECT_EQ(list[0]["dir"].toInt64(), 1);
  EXPECT_EQ(list[0]["status"].toInt64(), 1);
  EXPECT_EQ(list[0]["mount_id"].toInt64(), kMountId);
  EXPECT_EQ(status("other/pics"), SyncStatus::kServerOnly);
  EXPECT_EQ(upload("other/pics").strFullpath, outside("pics"));
  EXPECT_EQ(scans_, 1);
  EXPECT_EQ(network().transActions(), 0);

  waitTasks();
  EXPECT_TRUE(scanResult_);
  EXPECT_TRUE(m().adlist().empty());
  EXPECT_EQ(status("other/pics/a.jpg"), SyncStatus::kServerOnly);
  EXPECT_EQ(status("other/pics/deep/b.jpg"), SyncStatus::kServerOnly);
  EXPECT_EQ(rowOf("other/pics/deep/b.jpg").ullFileSize, 4U);
  EXPECT_EQ(upload("other/pics/deep/b.jpg").strFullpath, outside("pics/deep/b.jpg"));
  EXPECT_EQ(status("other/pics/.hidden"), SyncStatus::kNotFound);
  EXPECT_EQ(upload("other/pics/.DS_Store").nIndex, 0);

  // The uploads reach the server.
  settle();
  EXPECT_EQ(tree().find("other/pics/deep/b.jpg")->filehash, sha1HexDigest("bbbb"));
}

TEST_F(AddFilesTest, AFolderLinkBackIntoItsOwnTreeEndsTheWalk) {
  writeOutside("loop/a.txt", "a");
  fs::create_directory_symlink(outside("loop"), outside("loop/again"));
  m().addadlist("other/loop");
  EXPECT_TRUE(m().AddUploadSubFiles("other/loop", outside("loop"), "other/loop"));
  EXPECT_EQ(status("other/loop/a.txt"), SyncStatus::kServerOnly);
  EXPECT_EQ(status("other/loop/again"), SyncStatus::kNotFound);
}

TEST_F(AddFilesTest, AStoppedAddEndsAtItsNextEntry) {
  writeOutside("big/a.txt", "a");
  writeOutside("big/b.txt", "b");
  m().addadlist("Other/Big");
  m().updateadlist("other/big");
  EXPECT_FALSE(m().AddUploadSubFiles("other/big", outside("big"), "other/big"));
  EXPECT_EQ(status("other/big/a.txt"), SyncStatus::kNotFound);
  EXPECT_EQ(status("other/big/b.txt"), SyncStatus::kNotFound);
}

TEST_F(AddFilesTest, IntoALinkedFolderOnlyRowsThatExistedAreAnswered) {
  writeLocal("Docs/new.txt", "fresh");  // the page copied it there
  EXPECT_EQ(listOf(m().gAddFile("docs", {item(outside("new.txt"), "docs/new.txt")})).size(), 0U);
  EXPECT_EQ(status("docs/new.txt"), SyncStatus::kUploadPending);
  EXPECT_TRUE(upload("docs/new.txt").bSync);
  EXPECT_EQ(upload("docs/new.txt").strFullpath, local("Docs/new.txt").string());

  syncedFile("docs/old.txt", "old");
  writeLocal("Docs/old.txt", "newer");
  const JsonValue list = listOf(m().gAddFile("docs", {item(outside("old.txt"), "docs/old.txt")}));
  ASSERT_EQ(list.size(), 1U);
  EXPECT_EQ(list[0]["status"].toInt64(), 1);
  EXPECT_EQ(status("docs/old.txt"), SyncStatus::kUploadPending);
  EXPECT_EQ(scans_, 0);
}

TEST_F(AddFilesTest, AFolderCopiedIntoALinkIsScannedThere) {
  writeLocal("Docs/box/a.txt", "a");
  m().gAddFile("docs", {item(outside("box"), "docs/box")});
  EXPECT_EQ(status("docs/box"), SyncStatus::kUploadPending);
  EXPECT_EQ(status("docs/box/a.txt"), SyncStatus::kUploadPending);
  settle();
  EXPECT_EQ(localTree("Docs"), serverTree("docs"));
}

// --- The list of folders being added -------------------------------------------------

TEST_F(AddFilesTest, TheListKeepsOneEntryPerPathWhateverItsCase) {
  m().addadlist("Docs/New");
  m().addadlist("docs/new");
  EXPECT_EQ(m().adlist().size(), 1U);
  EXPECT_TRUE(m().checkadlist("DOCS/NEW"));
  EXPECT_TRUE(m().checksubadlist("docs/new/a/b"));
  EXPECT_FALSE(m().checksubadlist("docs/newer"));
  m().deladlist("docs/NEW");
  EXPECT_TRUE(m().adlist().empty());
  EXPECT_FALSE(m().checkadlist("docs/new"));
}

TEST_F(AddFilesTest, AStopRequestExpiresThirtySecondsAfterItWasFirstAsked) {
  m().addadlist("docs/new");
  m().updateadlist("docs/new");
  clock().advance(20s);
  m().updateadlist("docs/new");  // keeps the first time
  clock().advance(10s);
  EXPECT_TRUE(m().checkadlist("docs/new"));
  EXPECT_FALSE(m().checksubadlist("docs/new/a"));
  clock().advance(1s);
  EXPECT_FALSE(m().checkadlist("docs/new"));
  EXPECT_TRUE(m().adlist().empty());
}

// A page deletion of a folder being added waits until the add job has let
// go of it, then deletes.
TEST_F(AddFilesTest, DeletingAFolderBeingAddedStopsTheAddAndWaits) {
  holdScans_ = true;
  addServerFolder("other");
  writeOutside("pics/a.jpg", "aaa");
  m().gAddFile("other", {item(outside("pics"), "other/pics")});
  ASSERT_TRUE(m().checkadlist("other/pics"));

  std::thread deletion([this] { m().gDeleteFile({"other/pics"}); });
  ASSERT_TRUE(clock().waitForSleepers(1));
  // The job meets its next entry: asked to stop, it ends and lets go.
  EXPECT_FALSE(m().AddUploadSubFiles("other/pics", outside("pics"), "other/pics"));
  m().deladlist("other/pics");
  clock().advance(100ms);
  deletion.join();
  EXPECT_TRUE(m().adlist().empty());
  EXPECT_EQ(status("other/pics/a.jpg"), SyncStatus::kNotFound);
  EXPECT_EQ(upload("other/pics").nIndex, 0);
}

TEST_F(AddFilesTest, ADeletionWaitsAtMostThirtySecondsForAnAddThatNeverEnds) {
  m().addadlist("docs/stuck");
  storeFolderRow("docs/stuck", SyncStatus::kServerOnly);
  app().setLinkNetwork(false);
  std::thread deletion([this] { m().gDeleteFile({"docs/stuck"}); });
  const auto start = clock().monotonic();
  // The deletion itself empties the list once the request is old enough.
  // The deletion may take the entry off between the check and the wait.
  for (int rounds = 0; !m().adlist().empty(); ++rounds) {
    ASSERT_LT(rounds, 20000);
    if (clock().waitForSleepers(1, 10ms)) clock().advance(100ms);
  }
  deletion.join();
  EXPECT_GT(clock().monotonic() - start, 30s);
  EXPECT_EQ(status("docs/stuck"), SyncStatus::kDeletedLocally);
}

}  // namespace
}  // namespace nb::test
