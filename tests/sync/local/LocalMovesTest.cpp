// Local renames and moves told to the server, their deferral when the
// server cannot settle them, and the retry sweep.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/FakeFault.h"
#include "sync/local/LocalWorld.h"

namespace nb {
namespace {

namespace fs = std::filesystem;
using test::FakeFault;
using test::LocalWorld;

class LocalMovesTest : public LocalWorld {
 protected:
  bool rename(const std::string& from, const std::string& to, bool push = true) {
    fs::rename(local(from), local(to));
    return held([&](SyncManager& m) { return m.eventrename(path(from), path(to), push); });
  }
  bool move(const std::string& from, const std::string& to, bool push = true) {
    fs::rename(local(from), local(to));
    return held([&](SyncManager& m) { return m.eventremove(path(from), path(to), push); });
  }
  std::vector<std::string> renames() {
    std::vector<std::string> olds;
    for (const auto& entry : m_->movelists().renamelist) olds.push_back(entry.oldpath);
    return olds;
  }
  bool freshRename(const std::string& webpath) {
    bool timeout = false;
    return m_->lastRename().checkNode(webpath, timeout) && !timeout;
  }
};

TEST_F(LocalMovesTest, SyncedFileRenameReachesTheServer) {
  synced("docs/a.txt", "Docs/a.txt", "alpha");
  EXPECT_TRUE(rename("Docs/a.txt", "Docs/b.txt"));
  EXPECT_EQ(callCount("/1/file/rename"), 1U);
  EXPECT_EQ(lastCall("/1/file/rename").param("fullpath"), "docs/a.txt");
  EXPECT_EQ(lastCall("/1/file/rename").param("newname"), "b.txt");
  EXPECT_EQ(serverTree("docs").count("b.txt"), 1U);
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kNotFound);
  EXPECT_EQ(status("docs/b.txt"), SyncStatus::kSynced);
  EXPECT_TRUE(freshRename("docs/a.txt"));
  EXPECT_EQ(folderEvents(), 1U);
}

TEST_F(LocalMovesTest, RenamedFolderTakesItsRowsAlong) {
  synced("docs/f", "Docs/f", "", true);
  synced("docs/f/a.txt", "Docs/f/a.txt", "alpha");
  EXPECT_TRUE(rename("Docs/f", "Docs/g"));
  EXPECT_EQ(lastCall("/1/file/rename").param("fullpath"), "docs/f/");
  EXPECT_EQ(status("docs/g"), SyncStatus::kSynced);
  EXPECT_EQ(status("docs/g/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(status("docs/f/a.txt"), SyncStatus::kNotFound);
  EXPECT_EQ(serverTree("docs").count("g/a.txt"), 1U);
}

TEST_F(LocalMovesTest, RenameOfAPendingUploadWaitsAndFollowsTheFile) {
  writeLocal("Docs/a.txt", "alpha");
  held([&](SyncManager& m) { return m.eventadd(path("Docs/a.txt")); });
  EXPECT_FALSE(rename("Docs/a.txt", "Docs/b.txt"));
  EXPECT_EQ(callCount("/1/file/rename"), 0U);
  EXPECT_EQ(renames(), std::vector<std::string>{path("Docs/a.txt")});
  EXPECT_TRUE(m_->check_movelist(path("Docs/a.txt")));
  EXPECT_EQ(uploadSource("docs/a.txt"), path("Docs/b.txt"));
}

TEST_F(LocalMovesTest, RenameOrMoveOutOfSightMarksTheOldRow) {
  synced("docs/a.txt", "Docs/a.txt", "alpha");
  synced("docs/b.txt", "Docs/b.txt", "beta");
  makeLocalFolder("Docs/.trash");
  EXPECT_FALSE(rename("Docs/a.txt", "Docs/.a.txt"));
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kDeletedLocally);
  EXPECT_FALSE(move("Docs/b.txt", "Docs/.trash/b.txt"));
  EXPECT_EQ(status("docs/b.txt"), SyncStatus::kRemovedOnServer);
  // A move out of every linked folder counts the same, and asks nothing of
  // the server (which would put the item at the library's top).
  synced("docs/c.txt", "Docs/c.txt", "gamma");
  makeLocalFolder("Outside");
  EXPECT_FALSE(move("Docs/c.txt", "Outside/c.txt"));
  EXPECT_EQ(status("docs/c.txt"), SyncStatus::kRemovedOnServer);
  EXPECT_EQ(callCount("/1/file/rename") + callCount("/1/file/move"), 0U);
}

TEST_F(LocalMovesTest, ServerAnswersDecideTheRename) {
  synced("docs/refused.txt", "Docs/refused.txt", "r");
  api_.fail("/1/file/rename", FakeFault::errorCode(40310, 403).times(1));
  EXPECT_FALSE(rename("Docs/refused.txt", "Docs/other.txt"));
  EXPECT_TRUE(renames().empty());

  synced("docs/busy.txt", "Docs/busy.txt", "b");
  api_.fail("/1/file/rename", FakeFault::errorCode(50000, 500).times(1));
  EXPECT_FALSE(rename("Docs/busy.txt", "Docs/later.txt"));
  EXPECT_EQ(renames(), std::vector<std::string>{path("Docs/busy.txt")});
  // With push NO a failure is not kept again.
  api_.fail("/1/file/rename", FakeFault::errorCode(50000, 500).times(1));
  EXPECT_FALSE(held([&](SyncManager& m) {
    return m.eventrename(path("Docs/busy.txt"), path("Docs/later.txt"), false);
  }));
  EXPECT_EQ(renames().size(), 1U);
  // The server is back: the sweep settles it.
  held([](SyncManager& m) { m.check_rename_and_remove(); return 0; });
  EXPECT_TRUE(renames().empty());
  EXPECT_EQ(status("docs/later.txt"), SyncStatus::kSynced);
}

TEST_F(LocalMovesTest, SyncedFileMoveReachesTheServer) {
  synced("docs/sub", "Docs/sub", "", true);
  synced("docs/a.txt", "Docs/a.txt", "alpha");
  EXPECT_TRUE(move("Docs/a.txt", "Docs/sub/a.txt"));
  EXPECT_EQ(lastCall("/1/file/move").param("target_fullpath"), "docs/sub");
  EXPECT_EQ(serverTree("docs").count("sub/a.txt"), 1U);
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(row("docs/sub/a.txt").nUpID, row("docs/sub").nID);
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kNotFound);
}

TEST_F(LocalMovesTest, ServerAnswersDecideTheMove) {
  synced("docs/sub", "Docs/sub", "", true);
  // Unknown to the server: the new path is taken in as new.
  stored("docs/local-only.txt", SyncStatus::kSynced);
  writeLocal("Docs/local-only.txt", "l");
  EXPECT_TRUE(move("Docs/local-only.txt", "Docs/sub/local-only.txt"));
  EXPECT_EQ(status("docs/sub/local-only.txt"), SyncStatus::kUploadPending);

  // Refused: the rows go and the old folder is read again.
  synced("docs/refused.txt", "Docs/refused.txt", "r");
  api_.fail("/1/file/move", FakeFault::errorCode(40310, 403).times(1));
  EXPECT_TRUE(move("Docs/refused.txt", "Docs/sub/refused.txt"));
  EXPECT_EQ(status("docs/refused.txt"), SyncStatus::kNotFound);

  // Anything else waits for the sweep.
  synced("docs/busy.txt", "Docs/busy.txt", "b");
  api_.fail("/1/file/move", FakeFault::errorCode(50000, 500).times(1));
  EXPECT_FALSE(move("Docs/busy.txt", "Docs/sub/busy.txt"));
  ASSERT_EQ(m_->movelists().removelist.size(), 1U);
  EXPECT_EQ(m_->movelists().removelist[0].newpath, path("Docs/sub/busy.txt"));
  held([](SyncManager& m) { m.check_rename_and_remove(); return 0; });
  EXPECT_TRUE(m_->movelists().removelist.empty());
  EXPECT_EQ(status("docs/sub/busy.txt"), SyncStatus::kSynced);
}

// The engine follows the server's new letter case on disk, and the watcher
// reports that rename back. The server, asked for the name it already has,
// refused it for good: the deferred entry then stood forever.
TEST_F(LocalMovesTest, EchoOfAFollowedLetterCaseRenameAsksTheServerNothing) {
  synced("docs/c.txt", "Docs/c.txt", "gamma");
  renameServer("docs/c.txt", "C.txt");
  held([](SyncManager& m) {
    m.receive_move("docs/c.txt", "docs/C.txt");
    return 0;
  });
  ASSERT_EQ(readLocal("Docs/C.txt"), "gamma");

  EXPECT_TRUE(held([&](SyncManager& m) {
    return m.eventrename(path("Docs/c.txt"), path("Docs/C.txt"), true);
  }));
  EXPECT_EQ(callCount("/1/file/rename"), 0U);
  EXPECT_TRUE(renames().empty());
  EXPECT_FALSE(m_->check_movelist(path("Docs/c.txt")));
  EXPECT_EQ(row("docs/C.txt").strWebPath, "docs/C.txt");
  EXPECT_EQ(status("docs/C.txt"), SyncStatus::kSynced);
  EXPECT_EQ(uploads(), 0U);
}

// A letter-case rename and a move in one batch: the old spelling's half
// finds nothing on disk and takes the row as deleted; the move's half finds
// that same row under the new spelling.
TEST_F(LocalMovesTest, MoveOfARowTakenAsDeletedBringsTheFileInAsNew) {
  synced("docs/sub", "Docs/sub", "", true);
  synced("docs/a.txt", "Docs/a.txt", "alpha");
  fs::rename(local("Docs/a.txt"), local("Docs/sub/A.txt"));
  held([&](SyncManager& m) { return m.eventdel(path("Docs/a.txt")); });
  ASSERT_EQ(status("docs/a.txt"), SyncStatus::kDeletedLocally);

  EXPECT_TRUE(held([&](SyncManager& m) {
    return m.eventremove(path("Docs/A.txt"), path("Docs/sub/A.txt"), true);
  }));
  EXPECT_EQ(callCount("/1/file/move"), 0U);
  EXPECT_TRUE(m_->movelists().removelist.empty());
  EXPECT_EQ(status("docs/sub/A.txt"), SyncStatus::kUploadPending);
  // The old row still carries its deletion to the server.
  EXPECT_EQ(row("docs/a.txt").strWebPath, "docs/a.txt");
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kDeletedLocally);
}

TEST_F(LocalMovesTest, SweepKeepsWhatCannotSettleInOrder) {
  writeLocal("Docs/p1.txt", "1");
  writeLocal("Docs/p3.txt", "3");
  held([&](SyncManager& m) { return m.eventadd(path("Docs/p1.txt")) && m.eventadd(path("Docs/p3.txt")); });
  synced("docs/s2.txt", "Docs/s2.txt", "2");
  EXPECT_FALSE(rename("Docs/p1.txt", "Docs/q1.txt"));
  api_.fail("/1/file/rename", FakeFault::errorCode(50000, 500).times(1));
  EXPECT_FALSE(rename("Docs/s2.txt", "Docs/t2.txt"));
  EXPECT_FALSE(rename("Docs/p3.txt", "Docs/q3.txt"));
  ASSERT_EQ(renames().size(), 3U);

  held([](SyncManager& m) { m.check_rename_and_remove(); return 0; });
  EXPECT_EQ(renames(), (std::vector<std::string>{path("Docs/p1.txt"), path("Docs/p3.txt")}));
  EXPECT_EQ(status("docs/t2.txt"), SyncStatus::kSynced);
}

TEST_F(LocalMovesTest, EntryWhoseNewPathIsGoneLeavesAfterOneRetry) {
  synced("docs/a.txt", "Docs/a.txt", "alpha");
  api_.fail("/1/file/rename", FakeFault::errorCode(50000, 500).times(1));
  EXPECT_FALSE(rename("Docs/a.txt", "Docs/b.txt"));
  removeLocal("Docs/b.txt");
  held([](SyncManager& m) { m.check_rename_and_remove(); return 0; });
  EXPECT_TRUE(renames().empty());
  EXPECT_FALSE(m_->check_movelist(path("Docs/a.txt")));
  // The mark stays for the commit.
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kDeletedLocally);
}

TEST_F(LocalMovesTest, StoppedManagerKeepsItsEntries) {
  synced("docs/a.txt", "Docs/a.txt", "alpha");
  api_.fail("/1/file/rename", FakeFault::errorCode(50000, 500).times(1));
  EXPECT_FALSE(rename("Docs/a.txt", "Docs/b.txt"));
  m_->stop();
  runCoordinatorPassAfter(std::chrono::seconds(3));
  EXPECT_EQ(renames().size(), 1U);
  m_->start();
  runCoordinatorPassAfter(std::chrono::seconds(3));
  EXPECT_TRUE(renames().empty());
  EXPECT_EQ(status("docs/b.txt"), SyncStatus::kSynced);
}

}  // namespace
}  // namespace nb
