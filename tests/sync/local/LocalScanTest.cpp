// The walk of linked local folders and the marks for local items gone.
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "sync/centre/SyncStates.h"
#include "sync/local/LocalWorld.h"

namespace nb {
namespace {

namespace fs = std::filesystem;
using test::LocalWorld;

class LocalScanTest : public LocalWorld {};

TEST_F(LocalScanTest, FolderOfNewFilesIsPacedAndQueued) {
  for (int i = 0; i < 45; ++i) writeLocal("Docs/many/f" + std::to_string(i) + ".txt", "x");
  makeLocalFolder("Docs/many");
  stored("docs/many", SyncStatus::kSynced, true);
  m_->syncdb().update_lasttime("docs/many", Util::filemodifytime(path("Docs/many")));
  const auto events = folderEvents();
  m_->scandir(path("Docs/many"));
  EXPECT_EQ(scanPauses(), 2U);
  size_t pending = 0;
  for (const auto& [webpath, state] : storeRows()) {
    if (webpath.starts_with("docs/many/")) pending += state.status == SyncStatus::kUploadPending;
  }
  EXPECT_EQ(pending, 45U);
  EXPECT_EQ(uploads(), 45U);
  auto window = app().addWindow(test::FakeDriveFixture::kMountId, "docs/many");
  m_->scandir(path("Docs/many"));
  EXPECT_EQ(window->events().size(), 1U);
  EXPECT_EQ(folderEvents(), events);
}

TEST_F(LocalScanTest, SubFoldersAreEnteredAfterAPause) {
  writeLocal("Docs/a/b/c.txt", "c");
  m_->scandir(path("Docs"));
  EXPECT_EQ(scanPauses(), 2U);
  EXPECT_EQ(status("docs/a"), SyncStatus::kUploadPending);
  EXPECT_EQ(status("docs/a/b/c.txt"), SyncStatus::kUploadPending);
}

TEST_F(LocalScanTest, SameContentWithANewTimeIsSettledWithoutUpload) {
  writeLocal("Docs/a.txt", "alpha");
  SyncFileItem item;
  item.strWebPath = "docs/a.txt";
  item.strFileHash = sha1HexDigest("alpha");
  item.ullFileSize = 5;
  item.ullLastTime = 1'600'000'000;
  item.ullCreatorTime = 1'500'000'000;
  item.nStatus = SyncStatus::kUploadPending;
  item.nUpID = m_->getFileUpID(item.strWebPath);
  m_->syncdb().add_new_file(item);
  m_->ullCompareTime = 1'650'000'000;

  m_->scandir(path("Docs"));
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(Util::filemodifytime(path("Docs/a.txt")), 1'600'000'000U);
  EXPECT_EQ(row("docs/a.txt").ullLastTime, 1'600'000'000U);
  EXPECT_EQ(m_->syncdb().getVersionTimeByWebpath("docs/a.txt"), 1'650'000'000U);
  EXPECT_FALSE(uploadQueued("docs/a.txt"));

  // Other content: the new hash is kept and the file goes up.
  writeLocal("Docs/a.txt", "alpha, edited");
  Util::setfilemodifytime(path("Docs/a.txt"), 1'600'000'100);
  m_->syncdb().update_status("docs/a.txt", SyncStatus::kUploadPending);
  m_->scandir(path("Docs"));
  EXPECT_EQ(row("docs/a.txt").strFileHash, sha1HexDigest("alpha, edited"));
  EXPECT_TRUE(uploadQueued("docs/a.txt"));
}

// A rescan passes by the in-sync files that are as their rows say, and
// still finds every other change, whatever the row's other fields.
TEST_F(LocalScanTest, RescanFindsEveryChangeAmongUnchangedInSyncFiles) {
  const struct {
    const char* name;
    const char* bytes;  // written after the row, "" for none
    bool sameTime;
    int64_t after;
  } cases[] = {
      {"same.txt", "", true, SyncStatus::kSynced},
      {"new-time.txt", "", false, SyncStatus::kUploadPending},
      {"new-size.txt", "xyz", true, SyncStatus::kUploadPending},
      {"same-size-new-content.txt", "y", false, SyncStatus::kUploadPending},
  };
  for (const auto& c : cases) {
    const std::string local = std::string("Docs/") + c.name;
    const SyncFileItem item = synced(std::string("docs/") + c.name, local, "x");
    if (*c.bytes != '\0') writeLocal(local, c.bytes);
    Util::setfilemodifytime(path(local), c.sameTime ? item.ullLastTime : item.ullLastTime + 100);
  }
  // A row in sync without a hash is never taken for unchanged.
  const SyncFileItem hashless = synced("docs/hashless.txt", "Docs/hashless.txt", "h");
  m_->syncdb().update_filehashandfilesize(hashless.strWebPath, "", hashless.ullFileSize);

  m_->scandir(path("Docs"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string webpath = std::string("docs/") + c.name;
    EXPECT_EQ(status(webpath), c.after);
    EXPECT_EQ(uploadQueued(webpath), c.after == SyncStatus::kUploadPending);
  }
  EXPECT_EQ(status("docs/hashless.txt"), SyncStatus::kUploadPending);
}

TEST_F(LocalScanTest, RowsMarkedDeletedComeBackWhenTheItemIsThere) {
  const struct {
    const char* name;
    int64_t status;
    bool sameTime;
    int64_t after;
  } cases[] = {
      {"removed-same", SyncStatus::kRemovedOnServer, true, SyncStatus::kRemovedOnServer},
      {"removed-new", SyncStatus::kRemovedOnServer, false, SyncStatus::kUploadPending},
      {"deleted-same", SyncStatus::kDeletedLocally, true, SyncStatus::kUploadPending},
  };
  for (const auto& c : cases) {
    for (const bool dir : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (dir ? " folder" : " file"));
      const std::string name = std::string(c.name) + (dir ? "-dir" : ".txt");
      const SyncFileItem item = synced("docs/" + name, "Docs/" + name, "x", dir);
      m_->syncdb().update_status(item.strWebPath, c.status);
      if (dir) writeLocal("Docs/" + name + "/inner.txt", "i");
      Util::setfilemodifytime(path("Docs/" + name), c.sameTime ? item.ullLastTime : 1'600'000'000);
      m_->scandir(path("Docs"));
      EXPECT_EQ(status(item.strWebPath), c.after);
      if (dir) {
        // A folder left aside is not entered.
        const bool entered = c.after != SyncStatus::kRemovedOnServer;
        EXPECT_EQ(status(item.strWebPath + "/inner.txt") == SyncStatus::kUploadPending, entered);
      }
    }
  }
}

TEST_F(LocalScanTest, LinksToFilesAreSkippedAndFolderLoopsEnd) {
  writeLocal("outside/file.txt", "f");
  writeLocal("outside/folder/inner.txt", "i");
  Util::createlink(path("Docs/file-link"), path("outside/file.txt"));
  Util::createlink(path("Docs/folder-link"), path("outside/folder"));
  writeLocal("Docs/sub/x.txt", "x");
  Util::createlink(path("Docs/sub/up"), path("Docs"));
  Util::createlink(path("Docs/sub/self"), path("Docs/sub"));
  m_->scandir(path("Docs"));
  EXPECT_EQ(status("docs/file-link"), SyncStatus::kNotFound);
  EXPECT_EQ(status("docs/folder-link/inner.txt"), SyncStatus::kUploadPending);
  EXPECT_EQ(status("docs/sub/x.txt"), SyncStatus::kUploadPending);
  EXPECT_EQ(status("docs/sub/up"), SyncStatus::kNotFound);
  EXPECT_EQ(status("docs/sub/self"), SyncStatus::kNotFound);
}

TEST_F(LocalScanTest, ScanWithoutTheLockWaitsForAHandler) {
  writeLocal("Docs/a.txt", "a");
  std::unique_lock hold(*m_);
  std::thread scan([&] { m_->scandir(path("Docs")); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kNotFound);
  hold.unlock();
  scan.join();
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kUploadPending);
}

TEST_F(LocalScanTest, MissingItemsAreMarkedByLinkType) {
  synced("docs/f", "Docs/f", "", true);
  synced("docs/f/a.txt", "Docs/f/a.txt", "a");
  synced("docs/b.txt", "Docs/b.txt", "b");
  stored("docs/pending.txt", SyncStatus::kUploadPending);
  stored("docs/down.txt", SyncStatus::kDownloadPending);
  removeLocal("Docs/f/a.txt");
  removeLocal("Docs/b.txt");
  m_->scandel();
  EXPECT_EQ(status("docs/f"), SyncStatus::kSynced);
  EXPECT_EQ(status("docs/f/a.txt"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(status("docs/b.txt"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(status("docs/pending.txt"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(status("docs/down.txt"), SyncStatus::kDownloadPending);

  // Without the right to delete, nothing is marked: the server's item is
  // read again instead.
  m_->nPermissions = Permission::kFileRead;
  synced("docs/kept.txt", "Docs/kept.txt", "k");
  removeLocal("Docs/kept.txt");
  m_->scandel();
  EXPECT_NE(status("docs/kept.txt"), SyncStatus::kDeletedLocally);
  EXPECT_NE(status("docs/kept.txt"), SyncStatus::kNotFound);
}

TEST_F(LocalScanTest, EmptyOrMissingLinkedFolderMarksNothing) {
  synced("docs/a.txt", "Docs/a.txt", "a");
  synced("docs/f", "Docs/f", "", true);
  for (const auto& entry : fs::directory_iterator(local("Docs"))) fs::remove_all(entry.path());
  m_->scandel();
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(status("docs/f"), SyncStatus::kSynced);
  removeLocal("Docs");
  m_->scandel();
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kSynced);

  // With one item left the rest is taken as deleted.
  writeLocal("Docs/a.txt", "a");
  m_->scandel();
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(status("docs/f"), SyncStatus::kDeletedLocally);
}

TEST_F(LocalScanTest, ScanOfOnePathFindsItsLinkExactly) {
  writeLocal("Docs/sub/a.txt", "a");
  writeLocal("Docs/b.txt", "b");
  m_->scanlink("DOCS/sub");
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kNotFound);
  m_->scanlink("docs/sub");
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kUploadPending);
  EXPECT_EQ(status("docs/b.txt"), SyncStatus::kNotFound);
  m_->scanlink("");
  EXPECT_EQ(status("docs/b.txt"), SyncStatus::kNotFound);
  m_->scanlink();
  EXPECT_EQ(status("docs/b.txt"), SyncStatus::kUploadPending);
  EXPECT_GE(network().count("SendCallbackAction"), 3U);
}

// Rows of a backup link whose local items are gone stay on the server.
class BackupScanTest : public LocalWorld {
 protected:
  int64_t linkType() const override { return 1; }
};

TEST_F(BackupScanTest, MissingFilesAreKeptOnTheServer) {
  synced("docs/a.txt", "Docs/a.txt", "a");
  synced("docs/b.txt", "Docs/b.txt", "b");
  removeLocal("Docs/a.txt");
  m_->scandel();
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kServerOnly);
  EXPECT_EQ(status("docs/b.txt"), SyncStatus::kSynced);
}

// Links stored with type 0: a folder never uploaded is simply forgotten.
class UnsetLinkScanTest : public LocalWorld {
 protected:
  int64_t linkType() const override { return 0; }
};

TEST_F(UnsetLinkScanTest, NeverUploadedFolderIsForgottenWithItsRows) {
  stored("docs/new", SyncStatus::kUploadPending, true);
  stored("docs/new/a.txt", SyncStatus::kUploadPending);
  synced("docs/old.txt", "Docs/old.txt", "o");
  synced("docs/keep.txt", "Docs/keep.txt", "k");
  removeLocal("Docs/old.txt");
  m_->scandel();
  EXPECT_EQ(status("docs/new"), SyncStatus::kNotFound);
  EXPECT_EQ(status("docs/new/a.txt"), SyncStatus::kNotFound);
  EXPECT_EQ(status("docs/old.txt"), SyncStatus::kDeletedLocally);
}

}  // namespace
}  // namespace nb
