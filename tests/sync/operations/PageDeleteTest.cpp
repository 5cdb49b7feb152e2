// Deleting library items from a page, and restoring them.
#include <filesystem>

#include <gtest/gtest.h>

#include "sync/operations/PageOpsWorld.h"

namespace nb::test {
namespace {

class PageDeleteTest : public PageOpsWorld {
 protected:
  void SetUp() override {
    PageOpsWorld::SetUp();
    startLinked();
  }
};

TEST_F(PageDeleteTest, AnOnlineDeletionRemovesServerItemRowAndLocalFile) {
  syncedFile("docs/a.txt", "alpha");
  m().bSpaceMax = true;
  EXPECT_EQ(errorOf(m().gDeleteFile({"docs/a.txt"})), 0);
  EXPECT_FALSE(serverHas("docs/a.txt"));
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kNotFound);
  EXPECT_FALSE(localExists("Docs/a.txt"));
  EXPECT_FALSE(m().bSpaceMax);
}

TEST_F(PageDeleteTest, OfflineTheRowsWaitDeletedForTheCommit) {
  syncedFolder("docs/sub");
  syncedFile("docs/sub/a.txt", "alpha");
  app().setLinkNetwork(false);
  EXPECT_EQ(errorOf(m().gDeleteFile({"docs/sub"})), 0);
  EXPECT_EQ(callCount("/1/file/del"), 0U);
  EXPECT_EQ(status("docs/sub"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kDeletedLocally);
  EXPECT_FALSE(localExists("Docs/sub"));
}

TEST_F(PageDeleteTest, AGoneOrRefusedItemLosesItsRowsAsIfDeleted) {
  for (const int code : {40402, 40310}) {
    syncedFile("docs/a.txt", "alpha");
    api_.fail("/1/file/del", FakeFault::errorCode(code, 404).times(1));
    EXPECT_EQ(errorOf(m().gDeleteFile({"docs/a.txt"})), 0);
    EXPECT_EQ(status("docs/a.txt"), SyncStatus::kNotFound) << code;
  }
}

TEST_F(PageDeleteTest, AnUnexpectedAnswerLeavesTheRowForTheCommit) {
  syncedFile("docs/a.txt", "alpha");
  api_.fail("/1/file/del", FakeFault::bareStatus(500).times(1));
  EXPECT_EQ(errorOf(m().gDeleteFile({"docs/a.txt"})), 0);
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kDeletedLocally);
  m().commit();
  EXPECT_FALSE(serverHas("docs/a.txt"));
}

TEST_F(PageDeleteTest, RowsInStatus6OrWithoutRowAreLeftAlone) {
  storeRow("docs/gone.txt", "g", SyncStatus::kRemovedOnServer);
  EXPECT_EQ(errorOf(m().gDeleteFile({"docs/gone.txt", "docs/none.txt"})), 0);
  EXPECT_EQ(status("docs/gone.txt"), SyncStatus::kRemovedOnServer);
  EXPECT_EQ(callCount("/1/file/del"), 0U);
}

// The link goes, the folder stays on disk and is no longer watched.
TEST_F(PageDeleteTest, DeletingALinkRootUnlinksItAndKeepsTheFolder) {
  syncedFile("docs/a.txt", "alpha");
  app().clear();
  EXPECT_EQ(errorOf(m().gDeleteFile({"docs"})), 0);
  EXPECT_TRUE(m().linkfolder().getLinkNodes().empty());
  EXPECT_TRUE(m().syncdb().get_links().empty());
  EXPECT_EQ(readLocal("Docs/a.txt"), "alpha");
  EXPECT_EQ(app().count("deleteFavorite"), 1U);
  EXPECT_FALSE(serverHas("docs"));
  EXPECT_EQ(status("docs"), SyncStatus::kNotFound);
}

// A server deletion of a folder holding a link unlinks it the same way.
TEST_F(PageDeleteTest, AServerDeletionOfALinkedFolderRemovesTheStoredLink) {
  syncedFile("docs/a.txt", "alpha");
  removeServer("docs");
  m().startCanCompare();
  runComparePass();
  EXPECT_TRUE(m().linkfolder().getLinkNodes().empty());
  EXPECT_TRUE(m().syncdb().get_links().empty());
}

TEST_F(PageDeleteTest, RestoringAFileBringsItsRowBack) {
  syncedFile("docs/a.txt", "alpha");
  ASSERT_EQ(errorOf(m().gDeleteFile({"docs/a.txt"})), 0);
  ASSERT_EQ(status("docs/a.txt"), SyncStatus::kNotFound);
  EXPECT_EQ(errorOf(m().gRecover({"docs/a.txt"})), 0);
  EXPECT_TRUE(serverHas("docs/a.txt"));
  EXPECT_NE(status("docs/a.txt"), SyncStatus::kNotFound);
}

TEST_F(PageDeleteTest, RestoringAFolderResetsItSoItsContentIsListedAgain) {
  syncedFolder("docs/sub");
  syncedFile("docs/sub/a.txt", "alpha");
  ASSERT_EQ(errorOf(m().gDeleteFile({"docs/sub"})), 0);
  EXPECT_EQ(errorOf(m().gRecover({"docs/sub"})), 0);
  EXPECT_NE(status("docs/sub"), SyncStatus::kNotFound);
  bool queued = false;
  for (const auto& now : m().syncdb().get_sync_now()) queued |= now.strWebPath == "docs/sub";
  EXPECT_TRUE(queued);
}

TEST_F(PageDeleteTest, ARestoreWithoutAnswerIsNotTakenForSuccess) {
  api_.fail("/1/file/recover", FakeFault::drop());
  EXPECT_EQ(errorOf(m().gRecover({"docs/a.txt"})), 10001);
}

TEST_F(PageDeleteTest, ARestoreRefusalCarriesTheServerCode) {
  api_.fail("/1/file/recover", FakeFault::errorCode(40403, 404, "nothing to restore"));
  EXPECT_EQ(errorOf(m().gRecover({"docs/a.txt"})), 40403);
}

class BackupDeleteTest : public PageOpsWorld {
 protected:
  void SetUp() override {
    PageOpsWorld::SetUp();
    startLinked(1);
  }
};

TEST_F(BackupDeleteTest, DeletingAFileOfABackupLinkKeepsTheLocalFile) {
  syncedFile("docs/a.txt", "alpha");
  EXPECT_EQ(errorOf(m().gDeleteFile({"docs/a.txt"})), 0);
  EXPECT_FALSE(serverHas("docs/a.txt"));
  EXPECT_EQ(readLocal("Docs/a.txt"), "alpha");
}

}  // namespace
}  // namespace nb::test
