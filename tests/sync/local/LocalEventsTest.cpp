// The handlers of local additions, changes and deletions, called as the
// watcher calls them, against the fake service.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "sync/centre/SyncStates.h"
#include "sync/local/ReadOnlyConflict.h"
#include "sync/local/LocalWorld.h"

namespace nb {
namespace {

namespace fs = std::filesystem;
using test::LocalWorld;

class LocalEventsTest : public LocalWorld {};

TEST_F(LocalEventsTest, NewFileIsUploadPendingAndAsksForACompare) {
  writeLocal("Docs/a.txt", "alpha");
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventadd(path("Docs/a.txt")); }));

  const SyncFileItem added = row("docs/a.txt");
  EXPECT_EQ(added.nStatus, SyncStatus::kUploadPending);
  EXPECT_EQ(added.strFileHash, "");
  EXPECT_EQ(added.ullFileSize, 5U);
  EXPECT_EQ(added.nUpID, row("docs").nID);
  EXPECT_EQ(uploadSource("docs/a.txt"), path("Docs/a.txt"));
  EXPECT_EQ(folderEvents(), 1U);
  EXPECT_TRUE(compareAsked());
}

TEST_F(LocalEventsTest, EngineOwnWriteChangesNothing) {
  writeLocal("Docs/a.txt", "alpha");
  m_->set_add_filelistinfo("docs/a.txt", 5, Util::filemodifytime(path("Docs/a.txt")));
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventadd(path("Docs/a.txt")); }));
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kNotFound);
  EXPECT_FALSE(uploadQueued("docs/a.txt"));
  EXPECT_FALSE(compareAsked());
}

TEST_F(LocalEventsTest, ItemsThatAreNeverSyncedGetNoRow) {
  writeLocal("elsewhere/target.txt", "outside");
  makeLocalFolder("elsewhere/folder");
  writeLocal("Docs/.hidden", "x");
  writeLocal("Docs/~lock.txt", "x");
  writeLocal("Docs/what?.txt", "x");
  Util::createlink(path("Docs/file-link"), path("elsewhere/target.txt"));
  Util::createlink(path("Docs/dangling"), path("elsewhere/none"));
  const struct {
    const char* name;
  } cases[] = {{".hidden"}, {"~lock.txt"}, {"what?.txt"}, {"file-link"}, {"dangling"}, {"absent"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(held([&](SyncManager& m) { return m.eventadd(path("Docs/") + c.name); }));
    EXPECT_FALSE(held([&](SyncManager& m) { return m.eventupdate(path("Docs/") + c.name); }));
    EXPECT_EQ(status(std::string("docs/") + c.name), SyncStatus::kNotFound);
  }
  EXPECT_EQ(uploads(), 0U);

  // A link to a folder is taken in as the folder it shows.
  Util::createlink(path("Docs/folder-link"), path("elsewhere/folder"));
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventadd(path("Docs/folder-link")); }));
  EXPECT_TRUE(row("docs/folder-link").bDir);
}

TEST_F(LocalEventsTest, SpacesAroundANameAreTrimmedOnDisk) {
  writeLocal("Docs/ a.txt ", "alpha");
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventadd(path("Docs/ a.txt ")); }));
  EXPECT_TRUE(fs::exists(local("Docs/a.txt")));
  EXPECT_FALSE(fs::exists(local("Docs/ a.txt ")));
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kUploadPending);
}

TEST_F(LocalEventsTest, NewFolderIsTakenInWithWhatItHolds) {
  writeLocal("Docs/new/one.txt", "1");
  writeLocal("Docs/new/deep/two.txt", "22");
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventadd(path("Docs/new")); }));
  for (const char* webpath : {"docs/new", "docs/new/one.txt", "docs/new/deep", "docs/new/deep/two.txt"}) {
    SCOPED_TRACE(webpath);
    EXPECT_EQ(status(webpath), SyncStatus::kUploadPending);
    EXPECT_TRUE(uploadQueued(webpath));
  }
  EXPECT_EQ(row("docs/new/deep/two.txt").nUpID, row("docs/new/deep").nID);
}

TEST_F(LocalEventsTest, DeletionMarksTheRowAndEverythingBelow) {
  synced("docs/f", "Docs/f", "", true);
  synced("docs/f/a.txt", "Docs/f/a.txt", "alpha");
  synced("docs/b.txt", "Docs/b.txt", "beta");
  removeLocal("Docs/b.txt");
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventdel(path("Docs/b.txt")); }));
  EXPECT_EQ(status("docs/b.txt"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(network().count("ClearTrans"), 1U);

  removeLocal("Docs/f");
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventdel(path("Docs/f")); }));
  EXPECT_EQ(status("docs/f"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(status("docs/f/a.txt"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(folderEvents(), 2U);
}

// Found by the random runs: a rename of the letter case alone, read as the
// old name deleted, deleted the file on the server.
TEST_F(LocalEventsTest, TheOldNameOfALetterCaseRenameIsNoDeletion) {
  synced("docs/b.txt", "Docs/b.txt", "beta");
  std::filesystem::rename(local("Docs/b.txt"), local("Docs/B.txt"));
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventdel(path("Docs/b.txt")); }));
  EXPECT_EQ(status("docs/b.txt"), SyncStatus::kSynced);

  // Gone under every spelling: a deletion.
  removeLocal("Docs/B.txt");
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventdel(path("Docs/B.txt")); }));
  EXPECT_EQ(status("docs/b.txt"), SyncStatus::kDeletedLocally);
}

TEST_F(LocalEventsTest, DeletionOfWhatIsNotSyncedOrIsBackAgain) {
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventdel(path("Docs/never.txt")); }));
  stored("docs/gone.txt", SyncStatus::kRemovedOnServer);
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventdel(path("Docs/gone.txt")); }));
  EXPECT_EQ(status("docs/gone.txt"), SyncStatus::kRemovedOnServer);
  EXPECT_FALSE(held([&](SyncManager& m) { return m.eventdel(path("Docs/.hidden")); }));

  // Re-created before the batch ran: only the transfers are cleaned up.
  synced("docs/back.txt", "Docs/back.txt", "b");
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventdel(path("Docs/back.txt")); }));
  EXPECT_EQ(status("docs/back.txt"), SyncStatus::kSynced);
}

TEST_F(LocalEventsTest, LinkedRootDeletedMarksNothing) {
  synced("docs/a.txt", "Docs/a.txt", "alpha");
  removeLocal("Docs");
  EXPECT_FALSE(held([&](SyncManager& m) { return m.eventdel(path("Docs")); }));
  // The folder is unlinked and its path read afresh; nothing is marked for
  // deletion on the server.
  EXPECT_FALSE(m_->linkfolder().haveNode());
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kResetMark);
  EXPECT_NE(status("docs"), SyncStatus::kDeletedLocally);
}

TEST_F(LocalEventsTest, ChangedFileIsUploadedAgain) {
  synced("docs/a.txt", "Docs/a.txt", "alpha");
  writeLocal("Docs/a.txt", "alpha, edited");
  Util::setfilemodifytime(path("Docs/a.txt"), 1'600'000'000);
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventupdate(path("Docs/a.txt")); }));
  EXPECT_TRUE(uploadQueued("docs/a.txt"));
  EXPECT_EQ(network().count("ClearTrans"), 1U);
  EXPECT_FALSE(compareAsked());
}

// Found by the random runs: the edit ended a download under way but left
// its record marked running, so the transfers never drained.
TEST_F(LocalEventsTest, AnEditDuringADownloadLeavesNoDownloadBehind) {
  synced("docs/a.txt", "Docs/a.txt", "alpha");
  TransportItem running;
  running.nMountid = kMountId;
  running.strWebpath = "docs/a.txt";
  running.strFullpath = path("Docs/a.txt");
  running.nStatus = kTransRunning;
  running.bSync = true;
  TransPortDB::shareTransPortDB().Add_Download(running);
  writeLocal("Docs/a.txt", "alpha, edited");
  Util::setfilemodifytime(path("Docs/a.txt"), 1'600'000'000);
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventupdate(path("Docs/a.txt")); }));
  EXPECT_TRUE(uploadQueued("docs/a.txt"));
  EXPECT_EQ(TransPortDB::shareTransPortDB().GetDownloadCountAll(), 0);
}

TEST_F(LocalEventsTest, UpdateOfAFolderKeepsItsTimeAndOfAnEchoNothing) {
  synced("docs/f", "Docs/f", "", true);
  Util::setfilemodifytime(path("Docs/f"), 1'600'000'000);
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventupdate(path("Docs/f")); }));
  EXPECT_EQ(row("docs/f").ullLastTime, 1'600'000'000U);
  EXPECT_EQ(status("docs/f"), SyncStatus::kSynced);

  synced("docs/a.txt", "Docs/a.txt", "alpha");
  writeLocal("Docs/a.txt", "downloaded");
  m_->set_add_filelistinfo("docs/a.txt", 10, Util::filemodifytime(path("Docs/a.txt")));
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventupdate(path("Docs/a.txt")); }));
  EXPECT_FALSE(uploadQueued("docs/a.txt"));
}

// A sync link in a library where the user may upload but not write.
class ReadOnlyFolderTest : public LocalWorld {
 protected:
  void SetUp() override {
    LocalWorld::SetUp();
    m_->nPermissions = Permission::kFileRead | Permission::kFileUpload;
    const char* tz = std::getenv("TZ");
    savedTz_ = tz ? tz : "";
    hadTz_ = tz != nullptr;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    clock().setWallSeconds(1'700'000'000);  // 2023-11-14 22:13:20 UTC
  }
  void TearDown() override {
    if (hadTz_) {
      ::setenv("TZ", savedTz_.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
    LocalWorld::TearDown();
  }
  std::string savedTz_;
  bool hadTz_ = false;
};

TEST_F(ReadOnlyFolderTest, EditOfASyncedFileIsKeptAsADatedCopy) {
  synced("docs/report.docx", "Docs/report.docx", "server version");
  writeLocal("Docs/report.docx", "my edit");
  EXPECT_FALSE(held([&](SyncManager& m) { return m.eventupdate(path("Docs/report.docx")); }));
  const std::string copy = "Docs/report11-14 22.13.20只读冲突.docx";
  EXPECT_EQ(readLocal(copy), "my edit");
  // The copy's own event brings it in; the edited file is not uploaded.
  EXPECT_EQ(status("docs/report11-14 22.13.20只读冲突.docx"), SyncStatus::kNotFound);
  EXPECT_FALSE(uploadQueued("docs/report.docx"));

  // Written at once, the copy comes as one created-and-modified event.
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventupdate(path(copy)); }));
  EXPECT_EQ(status("docs/report11-14 22.13.20只读冲突.docx"), SyncStatus::kUploadPending);

  // Seen as an addition, the copy is taken in at once.
  m_->syncdb().del_file("docs/report11-14 22.13.20只读冲突.docx");
  removeLocal(copy);
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventadd(path("Docs/report.docx")); }));
  EXPECT_EQ(readLocal(copy), "my edit");
  EXPECT_EQ(status("docs/report11-14 22.13.20只读冲突.docx"), SyncStatus::kUploadPending);
}

TEST_F(ReadOnlyFolderTest, NewFileIsTakenInAndUnchangedFilesAreLeftAlone) {
  writeLocal("Docs/new.txt", "n");
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventadd(path("Docs/new.txt")); }));
  EXPECT_EQ(status("docs/new.txt"), SyncStatus::kUploadPending);

  synced("docs/same.txt", "Docs/same.txt", "s");
  EXPECT_FALSE(held([&](SyncManager& m) { return m.eventupdate(path("Docs/same.txt")); }));
  EXPECT_EQ(localTree("Docs").size(), 2U);

  // Without the upload right nothing is taken in.
  m_->nPermissions = Permission::kFileRead;
  writeLocal("Docs/refused.txt", "r");
  EXPECT_FALSE(held([&](SyncManager& m) { return m.eventadd(path("Docs/refused.txt")); }));
  EXPECT_EQ(status("docs/refused.txt"), SyncStatus::kNotFound);
}

TEST(ConflictCopyName, ExtensionStaysLast) {
  const struct {
    const char* name;
    const char* copy;
  } cases[] = {
      {"report.docx", "report<S>.docx"},
      {"README", "README<S>"},
      {"archive.tar.gz", "archive.tar<S>.gz"},
      {"ends.", "ends.<S>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(local::conflictCopyName(c.name, "<S>"), c.copy) << c.name;
  }
}

// A backup link: the local side is sent, never deleted on the server.
class BackupLinkEventsTest : public LocalWorld {
 protected:
  int64_t linkType() const override { return 1; }
};

TEST_F(BackupLinkEventsTest, DeletedFileIsReadAgainNotMarked) {
  synced("docs/a.txt", "Docs/a.txt", "alpha");
  removeLocal("Docs/a.txt");
  EXPECT_TRUE(held([&](SyncManager& m) { return m.eventdel(path("Docs/a.txt")); }));
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(folderEvents(), 0U);
}

}  // namespace
}  // namespace nb
