// Renaming library items from a page, online and offline.
#include <gtest/gtest.h>

#include "sync/operations/PageOpsWorld.h"

namespace nb::test {
namespace {

class PageRenameTest : public PageOpsWorld {
 protected:
  void SetUp() override {
    PageOpsWorld::SetUp();
    startLinked();
  }
};

TEST_F(PageRenameTest, AnOnlineRenameRenamesServerRowsAndLocalFile) {
  syncedFile("docs/a.txt", "alpha");
  EXPECT_EQ(errorOf(m().gRenameFile("docs/a.txt", "docs/b.txt")), 0);
  EXPECT_FALSE(serverHas("docs/a.txt"));
  EXPECT_TRUE(serverHas("docs/b.txt"));
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kNotFound);
  EXPECT_EQ(status("docs/b.txt"), SyncStatus::kSynced);
  EXPECT_EQ(rowOf("docs/b.txt").ullLastTime, clock().wallSeconds());
  EXPECT_EQ(readLocal("Docs/b.txt"), "alpha");
  EXPECT_EQ(localTime("Docs/b.txt"), clock().wallSeconds());
  EXPECT_FALSE(localExists("Docs/a.txt"));
  bool timeout = false;
  EXPECT_TRUE(m().lastRename().checkNode("docs/a.txt", timeout));
  EXPECT_EQ(network().count("ClearTrans"), 1U);
}

TEST_F(PageRenameTest, RenamingAFolderCarriesALinkInsideIt) {
  syncedFolder("docs/sub");
  syncedFile("docs/sub/a.txt", "alpha");
  EXPECT_EQ(errorOf(m().gRenameFile("docs/sub", "docs/box")), 0);
  EXPECT_EQ(status("docs/box/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(readLocal("Docs/box/a.txt"), "alpha");
  EXPECT_EQ(localTree("Docs"), serverTree("docs"));
}

TEST_F(PageRenameTest, OfflineACaseOnlyRenameMovesRowsAndLinksOnly) {
  syncedFile("docs/Report.doc", "report");
  app().setLinkNetwork(false);
  EXPECT_EQ(errorOf(m().gRenameFile("docs/Report.doc", "docs/report.doc")), 0);
  EXPECT_EQ(callCount("/1/file/rename"), 0U);
  EXPECT_EQ(upload("docs/report.doc").nIndex, 0);
  const SyncFileItem row = rowOf("docs/report.doc");
  EXPECT_EQ(row.strWebPath, "docs/report.doc");
  EXPECT_EQ(row.nStatus, SyncStatus::kSynced);
  // The local file keeps its name; the mapping still finds it.
  EXPECT_EQ(readLocal("Docs/Report.doc"), "report");
  EXPECT_EQ(m().getnormalpath("docs/report.doc"), local("Docs/Report.doc").string());
}

TEST_F(PageRenameTest, OfflineARenameIsCopyAndDelete) {
  syncedFile("docs/a.txt", "alpha");
  app().setLinkNetwork(false);
  EXPECT_EQ(errorOf(m().gRenameFile("docs/a.txt", "docs/b.txt")), 0);
  EXPECT_EQ(callCount("/1/file/rename"), 0U);
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(status("docs/b.txt"), SyncStatus::kUploadPending);
  EXPECT_EQ(upload("docs/b.txt").nExpand, 2);
  EXPECT_EQ(readLocal("Docs/b.txt"), "alpha");
  EXPECT_EQ(localTime("Docs/b.txt"), clock().wallSeconds());
}

TEST_F(PageRenameTest, RenamingOntoAnExistingItemIsRefused) {
  struct Case {
    bool dir;
    int64_t code;
  };
  for (const Case& c : {Case{false, 10000}, Case{true, 10012}}) {
    syncedFile("docs/a.txt", "alpha");
    if (c.dir) {
      storeFolderRow("docs/taken", SyncStatus::kSynced);
    } else {
      storeRow("docs/taken", "t", SyncStatus::kSynced);
    }
    network().clear();
    EXPECT_EQ(errorOf(m().gRenameFile("docs/a.txt", "docs/taken")), c.code);
    EXPECT_EQ(network().count("ClearTrans"), 1U);
    EXPECT_EQ(status("docs/a.txt"), SyncStatus::kSynced);
    m().syncdb().del_dir("docs/taken");
  }
  EXPECT_EQ(callCount("/1/file/rename"), 0U);
}

TEST_F(PageRenameTest, A403201RefusalIsAnswered) {
  syncedFile("docs/a.txt", "alpha");
  api_.fail("/1/file/rename", FakeFault::errorCode(403201, 403, "no"));
  EXPECT_EQ(errorOf(m().gRenameFile("docs/a.txt", "docs/b.txt")), 403201);
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kSynced);
  EXPECT_TRUE(localExists("Docs/a.txt"));
}

TEST_F(PageRenameTest, AServerErrorEndsInCopyAndDeleteWithNothingLost) {
  syncedFile("docs/a.txt", "alpha");
  api_.fail("/1/file/rename", FakeFault::bareStatus(503).times(1));
  EXPECT_EQ(errorOf(m().gRenameFile("docs/a.txt", "docs/b.txt")), 0);
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(readLocal("Docs/b.txt"), "alpha");
  settle();
  EXPECT_FALSE(serverHas("docs/a.txt"));
  ASSERT_TRUE(serverHas("docs/b.txt"));
  EXPECT_EQ(tree().find("docs/b.txt")->filehash, sha1HexDigest("alpha"));
  EXPECT_EQ(localTree("Docs"), serverTree("docs"));
}

// A refused case-only rename must not copy the row onto itself and then
// delete it.
TEST_F(PageRenameTest, AServerErrorOnACaseOnlyRenameKeepsTheItem) {
  syncedFile("docs/Report.doc", "report");
  api_.fail("/1/file/rename", FakeFault::bareStatus(503).times(1));
  EXPECT_EQ(errorOf(m().gRenameFile("docs/Report.doc", "docs/report.doc")), 0);
  EXPECT_EQ(status("docs/report.doc"), SyncStatus::kSynced);
  EXPECT_EQ(readLocal("Docs/Report.doc"), "report");
}

}  // namespace
}  // namespace nb::test
