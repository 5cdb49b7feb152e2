// Moves inside one library: asked by a page (told to the server, or
// carried out as copy and delete) and reported by the change feed.
#include <filesystem>

#include <gtest/gtest.h>

#include "foundation/util/UtilFiles.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncStates.h"
#include "sync/operations/PageOpsWorld.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

class PageMovesTest : public PageOpsWorld {
 protected:
  void SetUp() override {
    PageOpsWorld::SetUp();
    startLinked();
  }
};

TEST_F(PageMovesTest, AMoveIntoItselfIsRefusedAndChangesNothing) {
  syncedFolder("docs/a");
  EXPECT_TRUE(SyncManager::checksub({item("a", "a/b/a")}));
  EXPECT_FALSE(SyncManager::checksub({item("a", "ab/a")}));
  EXPECT_FALSE(SyncManager::checksub({item("a", "a")}));
  EXPECT_EQ(errorOf(m().gMoveFile({item("docs/a", "docs/a/b/a", true)})), 10004);
  EXPECT_EQ(callCount("/1/file/move"), 0U);
  EXPECT_EQ(status("docs/a"), SyncStatus::kSynced);
}

TEST_F(PageMovesTest, AnOnlineMoveInsideTheLinkMovesServerRowsAndLocalFile) {
  syncedFolder("docs/sub");
  syncedFile("docs/a.txt", "alpha");
  EXPECT_EQ(errorOf(m().gMoveFile({item("docs/a.txt", "docs/sub/a.txt")})), 0);

  EXPECT_FALSE(serverHas("docs/a.txt"));
  EXPECT_TRUE(serverHas("docs/sub/a.txt"));
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kNotFound);
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(rowOf("docs/sub/a.txt").nUpID, rowOf("docs/sub").nID);
  EXPECT_FALSE(localExists("Docs/a.txt"));
  EXPECT_EQ(readLocal("Docs/sub/a.txt"), "alpha");
  EXPECT_EQ(localTree("Docs"), serverTree("docs"));
}

TEST_F(PageMovesTest, AMoveOutOfEveryLinkLeavesNoLocalCopyInTheLink) {
  addServerFolder("other");
  syncedFile("docs/a.txt", "alpha");
  EXPECT_EQ(errorOf(m().gMoveFile({item("docs/a.txt", "other/a.txt")})), 0);
  EXPECT_TRUE(serverHas("other/a.txt"));
  EXPECT_EQ(status("other/a.txt"), SyncStatus::kSynced);
  EXPECT_FALSE(localExists("Docs/a.txt"));  // in the Trash
}

// The first item is refused (a 5xx): it is re-created at its destination
// from its content hash and its source deleted; the second is still moved
// by the server. Nothing is lost once the uploads and the commit ran.
TEST_F(PageMovesTest, ARefusedItemFallsBackToCopyAndTheNextIsStillMoved) {
  syncedFolder("docs/sub");
  syncedFile("docs/a.txt", "alpha");
  syncedFile("docs/b.txt", "beta");
  api_.fail("/1/file/move", FakeFault::errorCode(50001, 500).times(1));

  EXPECT_EQ(errorOf(m().gMoveFile({item("docs/a.txt", "docs/sub/a.txt"),
                                   item("docs/b.txt", "docs/sub/b.txt")})),
            0);
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kServerOnly);
  EXPECT_EQ(upload("docs/sub/a.txt").nExpand, 2);
  EXPECT_EQ(readLocal("Docs/sub/a.txt"), "alpha");
  EXPECT_TRUE(serverHas("docs/sub/b.txt"));
  EXPECT_FALSE(serverHas("docs/b.txt"));

  settle();
  EXPECT_FALSE(serverHas("docs/a.txt"));
  ASSERT_TRUE(serverHas("docs/sub/a.txt"));
  EXPECT_EQ(tree().find("docs/sub/a.txt")->filehash, sha1HexDigest("alpha"));
  EXPECT_EQ(localTree("Docs"), serverTree("docs"));
}

TEST_F(PageMovesTest, A403201RefusalIsAnsweredAndNothingElseHappens) {
  syncedFolder("docs/sub");
  syncedFile("docs/a.txt", "alpha");
  api_.fail("/1/file/move", FakeFault::errorCode(403201, 403, "not here"));
  const auto answer = objectFromJSONString(m().gMoveFile({item("docs/a.txt", "docs/sub/a.txt")}));
  ASSERT_TRUE(answer);
  EXPECT_EQ((*answer)["error"].toInt64(), 403201);
  EXPECT_EQ((*answer)["message"].toText(), "not here");
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kNotFound);
  EXPECT_TRUE(localExists("Docs/a.txt"));
}

TEST_F(PageMovesTest, AMoveOntoAnExistingRowNeverAsksTheServer) {
  syncedFile("docs/a.txt", "alpha");
  storeRow("docs/b.txt", "old", SyncStatus::kServerOnly);
  EXPECT_EQ(errorOf(m().gMoveFile({item("docs/a.txt", "docs/b.txt")})), 0);
  EXPECT_EQ(callCount("/1/file/move"), 0U);
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(rowOf("docs/b.txt").strFileHash, sha1HexDigest("alpha"));
  EXPECT_NE(upload("docs/b.txt").nIndex, 0);
}

TEST_F(PageMovesTest, OfflineAMoveIsBookkeepingAndLocalFilesStay) {
  syncedFolder("docs/sub");
  syncedFile("docs/a.txt", "alpha");
  app().setLinkNetwork(false);
  EXPECT_EQ(errorOf(m().gMoveFile({item("docs/a.txt", "docs/sub/a.txt")})), 0);
  EXPECT_EQ(callCount("/1/file/move"), 0U);
  EXPECT_EQ(readLocal("Docs/a.txt"), "alpha");
  EXPECT_FALSE(localExists("Docs/sub/a.txt"));
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kServerOnly);
  EXPECT_EQ(upload("docs/sub/a.txt").nExpand, 2);
}

TEST_F(PageMovesTest, AnUnsafeDestinationIsRefused) {
  syncedFile("docs/a.txt", "alpha");
  EXPECT_EQ(errorOf(m().gMoveFile({item("docs/a.txt", "docs/../../x")})), 10007);
  EXPECT_EQ(callCount("/1/file/move"), 0U);
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kSynced);
}

// --- Moves the change feed reports ---------------------------------------------------

TEST_F(PageMovesTest, AServerMoveInsideASyncLinkMovesTheLocalFile) {
  syncedFolder("docs/sub");
  syncedFile("docs/a.txt", "alpha");
  {
    std::lock_guard hold(m());
    m().receive_move("docs/a.txt", "docs/sub/a.txt");
  }
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(readLocal("Docs/sub/a.txt"), "alpha");
  EXPECT_FALSE(localExists("Docs/a.txt"));
  // The folder watching takes the new file for the engine's own write.
  EXPECT_TRUE(m().isOwnWrite("docs/sub/a.txt", 5, localTime("Docs/sub/a.txt")));
  EXPECT_EQ(network().count("RenameWebpath"), 1U);
}

// The feed re-reads a rename this side followed before, and a file not yet
// sent now holds the new name (here with the size and time of the moved
// row, as files written in the same second can). It stays and is sent; the
// server's later deletion of the name does not take it for the copy the
// moved row recorded.
TEST_F(PageMovesTest, AServerMoveOntoAFileNotYetSentKeepsAndSendsIt) {
  syncedFile("docs/a.txt", "alpha");
  writeLocal("Docs/c.txt", "gamma");
  Util::setfilemodifytime(local("Docs/c.txt").string(), localTime("Docs/a.txt"));
  {
    std::lock_guard hold(m());
    m().receive_move("docs/a.txt", "docs/c.txt");
  }
  EXPECT_EQ(readLocal("Docs/a.txt"), "alpha");
  EXPECT_EQ(readLocal("Docs/c.txt"), "gamma");
  EXPECT_EQ(status("docs/c.txt"), SyncStatus::kUploadPending);
  EXPECT_EQ(rowOf("docs/c.txt").strFileHash, "");
  EXPECT_EQ(TransPortDB::shareTransPortDB().Get_Upload(kMountId, "docs/c.txt").strFullpath,
            local("Docs/c.txt").string());

  CompareItem gone;
  gone.strWebPath = "docs/c.txt";
  gone.nCmd = FeedCmd::kDelete;
  {
    std::lock_guard hold(m());
    m().receive_del(gone, nullptr);
  }
  m().commit();
  EXPECT_EQ(readLocal("Docs/c.txt"), "gamma");
  EXPECT_EQ(status("docs/c.txt"), SyncStatus::kUploadPending);
}

TEST_F(PageMovesTest, AServerMoveOfTheLinkRootRenamesTheLinkAndKeepsTheFolder) {
  syncedFile("docs/a.txt", "alpha");
  {
    std::lock_guard hold(m());
    m().receive_move("docs", "papers");
  }
  ASSERT_EQ(m().linkfolder().getLinkNodes().size(), 1U);
  EXPECT_EQ(m().linkfolder().getLinkNodes()[0].strWebPath, "papers");
  EXPECT_EQ(m().syncdb().get_links()[0].strWebPath, "papers");
  EXPECT_EQ(status("papers/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(readLocal("Docs/a.txt"), "alpha");
  EXPECT_EQ(m().getnormalpath("papers/a.txt"), local("Docs/a.txt").string());
}

TEST_F(PageMovesTest, AServerMoveThroughTheFeedIsApplied) {
  syncedFolder("docs/sub");
  syncedFile("docs/a.txt", "alpha");
  moveServer("docs/a.txt", "docs/sub");
  m().startCanCompare();
  runComparePass();
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kNotFound);
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(readLocal("Docs/sub/a.txt"), "alpha");
  EXPECT_EQ(localTree("Docs"), serverTree("docs"));
}

// Found by the random runs: a server move of an item with no local copy
// left its rows to the deletion of the old path, so the item at its new
// path had no row and never arrived (or, deleted here, stayed there).
TEST_F(PageMovesTest, AServerMoveOfAnItemWithNoLocalCopyTakesItsRowAlong) {
  struct Case {
    const char* name;
    int64_t rowStatus;  // the row when the move arrives; the local file is gone
    bool serverKeeps;   // the moved item is still on the server in the end
  };
  const Case cases[] = {
      {"deleted here", SyncStatus::kDeletedLocally, false},
      {"download waiting", SyncStatus::kDownloadPending, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = "docs/sub" + std::to_string(n++);
    syncedFolder(folder);
    syncedFile("docs/a.txt", "alpha");
    std::filesystem::remove(local("Docs/a.txt"));
    m().syncdb().update_status("docs/a.txt", c.rowStatus);
    if (c.rowStatus == SyncStatus::kDownloadPending) {
      m().ADD_Download(rowOf("docs/a.txt"), local("Docs/a.txt").string(), true, 0);
    }
    moveServer("docs/a.txt", folder);
    m().startCanCompare();
    runComparePass();
    settle();
    EXPECT_EQ(status("docs/a.txt"), SyncStatus::kNotFound);
    EXPECT_EQ(serverHas(folder + "/a.txt"), c.serverKeeps);
    EXPECT_EQ(status(folder + "/a.txt"),
              c.serverKeeps ? SyncStatus::kSynced : SyncStatus::kNotFound);
    EXPECT_EQ(localTree("Docs"), serverTree("docs"));
  }
}

// Found by the random runs: a folder made here reached the server just
// after another member renamed the folder above it, so the server made the
// old folder again to hold it. Following the rename took the new folder
// and its row along; the server's entry for it, met later in the feed, was
// then fetched as another folder, and the moved one stayed here with a row
// claiming a server item that is not there. A file sent so goes the same
// way.
TEST_F(PageMovesTest, AnItemSentIntoAFolderRenamedMeanwhileEndsWhereTheServerPutIt) {
  syncedFolder("docs/d1");
  m().syncdb().update_uuidhash("docs/d1", tree().find("docs/d1")->hash);
  renameServer("docs/d1", "d3");
  // Ours, sent after that rename: the server made docs/d1 again for them.
  addServerFolder("docs/d1/d2");
  makeLocalFolder("Docs/d1/d2");
  storeFolderRow("docs/d1/d2", SyncStatus::kSynced);
  m().syncdb().update_uuidhash("docs/d1/d2", tree().find("docs/d1/d2")->hash);
  syncedFile("docs/d1/a.txt", "alpha");

  m().startCanCompare();
  runComparePass();
  settle();
  EXPECT_EQ(status("docs/d3/d2"), SyncStatus::kNotFound);
  EXPECT_EQ(status("docs/d3/a.txt"), SyncStatus::kNotFound);
  EXPECT_EQ(status("docs/d1/d2"), SyncStatus::kSynced);
  EXPECT_EQ(status("docs/d1/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(readLocal("Docs/d1/a.txt"), "alpha");
  EXPECT_EQ(localTree("Docs"), serverTree("docs"));
}

// Found by the random runs: another member's new items in a folder renamed
// here, which the feed reports under the folder's old name before the
// rename's own echo, got rows at the old name; the echo then dropped them
// with that name while the server kept them at the new one, so they never
// arrived.
TEST_F(PageMovesTest, ServerItemsMadeInAFolderRenamedHereFollowTheRename) {
  syncedFolder("docs/d3");
  syncedFile("docs/d3/kept.txt", "kept");
  addServerFolder("docs/d3/new");
  putServerFile("docs/d3/new/x.txt", "from another member");
  putServerFile("docs/d3/y.txt", "also new");
  fs::rename(local("Docs/d3"), local("Docs/d1"));
  {
    std::lock_guard hold(m());
    ASSERT_TRUE(m().eventrename(local("Docs/d3").string(), local("Docs/d1").string(), true));
  }
  m().startCanCompare();
  runComparePass();
  settle();
  EXPECT_EQ(status("docs/d3"), SyncStatus::kNotFound);
  for (const char* path : {"docs/d1/kept.txt", "docs/d1/new", "docs/d1/new/x.txt", "docs/d1/y.txt"}) {
    EXPECT_EQ(status(path), SyncStatus::kSynced) << path;
  }
  EXPECT_EQ(localTree("Docs"), serverTree("docs"));
}

// Found by the random runs: a server move of a file that had lost its row
// here (an upload dropped as its file was gone, the server's copy meant to
// come back) gave no row at the new path either, so it never arrived.
TEST_F(PageMovesTest, AServerMoveOfAFileWithoutRowBringsItInAtItsNewPath) {
  syncedFolder("docs/sub");
  syncedFile("docs/a.txt", "alpha");
  m().startCanCompare();
  runComparePass();
  m().syncdb().del_file("docs/a.txt");
  fs::remove(local("Docs/a.txt"));
  moveServer("docs/a.txt", "docs/sub");
  m().startCanCompare();
  runComparePass();
  settle();
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(localTree("Docs"), serverTree("docs"));
}

// Found by the random runs: a file moved here while the server renamed it
// is unknown to the server at its old name; its row stayed in sync there
// with no local file, and the server's rename then carried it to the new
// name, where nothing ever fetched the file nor removed it.
TEST_F(PageMovesTest, AFileMovedHereWhileTheServerRenamedItEndsAlikeOnBothSides) {
  syncedFolder("docs/sub");
  syncedFile("docs/a.txt", "alpha");
  m().startCanCompare();
  runComparePass();
  renameServer("docs/a.txt", "b.txt");
  fs::rename(local("Docs/a.txt"), local("Docs/sub/a.txt"));
  {
    std::lock_guard hold(m());
    m().eventremove(local("Docs/a.txt").string(), local("Docs/sub/a.txt").string(), true);
  }
  m().startCanCompare();
  runComparePass();
  settle();
  m().startCanCompare();
  runComparePass();
  settle();
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kNotFound);
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(localTree("Docs"), serverTree("docs"));
  for (const auto& [webpath, row] : storeRows()) {
    EXPECT_EQ(row.status, SyncStatus::kSynced) << webpath;
  }
}

// Found by the random runs: a new letter case alone left the transfer
// records at the old name; the server's next edit of the item reused the
// finished download record and copied the local file's old content to the
// old name beside it, and that content then went up over the edit.
TEST_F(PageMovesTest, AServerLetterCaseRenameTakesTheTransferRecordsAlong) {
  putServerFile("docs/c.txt", "gamma");
  m().startCanCompare();
  runComparePass();
  settle();
  ASSERT_EQ(readLocal("Docs/c.txt"), "gamma");

  renameServer("docs/c.txt", "C.txt");
  m().startCanCompare();
  runComparePass();
  EXPECT_EQ(readLocal("Docs/C.txt"), "gamma");
  const TransportItem record = TransPortDB::shareTransPortDB().Get_Download(kMountId, "docs/C.txt");
  EXPECT_EQ(record.strWebpath, "docs/C.txt");
  EXPECT_EQ(record.strFullpath, local("Docs/C.txt").string());

  clock().advance(std::chrono::seconds(5));
  putServerFile("docs/C.txt", "gamma, edited");
  m().startCanCompare();
  runComparePass();
  settle();
  EXPECT_EQ(readLocal("Docs/C.txt"), "gamma, edited");
  EXPECT_FALSE(localExists("Docs/c.txt"));
  EXPECT_EQ(localTree("Docs"), serverTree("docs"));
}

// Found by the random runs: the server moved a file into a folder this
// side does not have (not fetched yet, or renamed here before the rename
// reached the server). The rows went to the new place and the file, left
// behind, had none: it was never sent again, and the deletion of the new
// place here would have taken the only copy of an edit. It is taken in as
// a new local file and sent to its old place.
TEST_F(PageMovesTest, AServerMoveTheLocalFileCannotFollowSendsItAgain) {
  syncedFile("docs/a.txt", "alpha");
  addServerFolder("docs/sub");
  moveServer("docs/a.txt", "docs/sub");
  m().startCanCompare();
  runComparePass();

  EXPECT_EQ(readLocal("Docs/a.txt"), "alpha");
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kUploadPending);
  auto& store = TransPortDB::shareTransPortDB();
  EXPECT_EQ(store.Get_Upload(kMountId, "docs/a.txt").strFullpath, local("Docs/a.txt").string());
  EXPECT_EQ(store.Get_Upload(kMountId, "docs/sub/a.txt").nIndex, 0);
  settle();
  EXPECT_TRUE(serverHas("docs/a.txt"));
  EXPECT_TRUE(serverHas("docs/sub/a.txt"));
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kSynced);
}

// Found by the random runs: an upload record moved with its file kept the
// old local path; sent again and again from a path that no longer existed,
// it never matched the row and rewrote the server's copy without end. A
// new letter case alone found the item's own row at the new name and left
// even the record's web path behind.
TEST_F(PageMovesTest, AServerMoveTakesTheUploadOfTheMovedFileAlong) {
  struct Case {
    const char* from;
    const char* to;
  };
  const Case cases[] = {{"docs/a.txt", "docs/sub/a.txt"}, {"docs/b.txt", "docs/B.txt"}};
  syncedFolder("docs/sub");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    syncedFile(c.from, "alpha");
    writeLocal(localOf(c.from), "alpha, edited");
    SyncFileItem row = rowOf(c.from);
    row.nStatus = SyncStatus::kUploadPending;
    m().syncdb().update_file(row);
    ASSERT_TRUE(m().Add_Upload(row, local(localOf(c.from)).string(), true, c.from));
    {
      std::lock_guard hold(m());
      m().receive_move(c.from, c.to);
    }
    ASSERT_EQ(readLocal(localOf(c.to)), "alpha, edited");
    const TransportItem record = TransPortDB::shareTransPortDB().Get_Upload(kMountId, c.to);
    EXPECT_EQ(record.strWebpath, c.to);
    EXPECT_EQ(record.strFullpath, local(localOf(c.to)).string());
  }
}

class BackupMovesTest : public PageOpsWorld {
 protected:
  void SetUp() override {
    PageOpsWorld::SetUp();
    startLinked(1);
  }
};

TEST_F(BackupMovesTest, AServerMoveInsideABackupLinkMovesRowsButNotTheFile) {
  syncedFolder("docs/sub");
  syncedFile("docs/a.txt", "alpha");
  {
    std::lock_guard hold(m());
    m().receive_move("docs/a.txt", "docs/sub/a.txt");
  }
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kSynced);
  EXPECT_TRUE(localExists("Docs/a.txt"));
  EXPECT_FALSE(localExists("Docs/sub/a.txt"));
}

}  // namespace
}  // namespace nb::test
