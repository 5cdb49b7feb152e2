#include <filesystem>

#include <glib.h>
#include <gtest/gtest.h>

#include "stores/cache/SyncCache.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/server/ServerDecisionWorld.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class ServerDeletionTest : public test::ServerDecisionWorld {
 protected:
  void SetUp() override {
    ServerDecisionWorld::SetUp();
    linkFolder("back", "Back", 1);
    startLinked();
  }
  // GLib keeps the data folder of the process's first HOME.
  static fs::path trashed(const std::string& name) {
    return fs::path(g_get_user_data_dir()) / "Trash/files" / name;
  }
};

TEST_F(ServerDeletionTest, UnchangedFileGoesToTheTrashAndItsContentIsKept) {
  app().setRecyclebin(true);
  const SyncFileItem row = storeRow("docs/a.txt", "old", SyncStatus::kRemovedOnServer);
  writeLocalAt("Docs/a.txt", "old", kLocalTime);
  m().apply_delfile(row);
  EXPECT_FALSE(localExists("Docs/a.txt"));
  EXPECT_TRUE(fs::exists(trashed("a.txt")));
  EXPECT_EQ(rowOf("docs/a.txt").nStatus, SyncStatus::kNotFound);
  EXPECT_FALSE(SyncCache::shareSyncCache().getFullPathByFileHash(sha1HexDigest("old")).empty());
}

TEST_F(ServerDeletionTest, FileDeletionTable) {
  struct Case {
    const char* name;
    const char* root;
    const char* localBytes;  // nullptr: nothing local
    uint64_t localTime;
    bool survives;
    int64_t statusAfter;
  };
  const Case cases[] = {
      {"unchanged, for good", "docs", "old", kLocalTime, false, SyncStatus::kNotFound},
      {"edited since its row", "docs", "edited!", kLocalTime + 7, true, 6},
      {"only the time differs", "docs", "old", kLocalTime - 7, true, 6},
      {"already gone", "docs", nullptr, 0, false, SyncStatus::kNotFound},
      {"backup keeps the file", "back", "old", kLocalTime, true, SyncStatus::kNotFound},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "f" + std::to_string(n++) + ".txt";
    const std::string path = std::string(c.root) + "/" + name;
    const std::string relative = (path[0] == 'd' ? "Docs/" : "Back/") + name;
    const SyncFileItem row = storeRow(path, "old", SyncStatus::kRemovedOnServer);
    if (c.localBytes != nullptr) writeLocalAt(relative, c.localBytes, c.localTime);
    m().apply_delfile(row);
    EXPECT_EQ(localExists(relative), c.survives);
    if (c.survives) {
      EXPECT_EQ(readLocal(relative), c.localBytes);
    }
    EXPECT_EQ(rowOf(path).nStatus, c.statusAfter);
  }
  EXPECT_FALSE(fs::exists(trashed("f0.txt")));
}

TEST_F(ServerDeletionTest, FolderGoesOnlyWhenEveryFileIsAsRecorded) {
  struct Case {
    const char* name;
    const char* extra;  // what else is in the folder
    bool survives;
  };
  const Case cases[] = {
      {"all recorded", nullptr, false},
      {"a file without a row", "unrecorded", true},
      {"a recorded file edited", "edited", true},
      {"an upload pending", "pending", true},
      {"only an ignored file besides", "ignored", false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = "docs/d" + std::to_string(n);
    const std::string localDir = "Docs/d" + std::to_string(n++);
    const SyncFileItem folder = storeFolderRow(dir, SyncStatus::kRemovedOnServer);
    storeFolderRow(dir + "/sub", SyncStatus::kRemovedOnServer);
    storeRow(dir + "/sub/a.txt", "a", SyncStatus::kRemovedOnServer);
    writeLocalAt(localDir + "/sub/a.txt", "a", kLocalTime);
    const std::string extra = c.extra ? c.extra : "";
    if (extra == "unrecorded") writeLocal(localDir + "/new.txt", "new");
    if (extra == "edited") {
      storeRow(dir + "/b.txt", "b", SyncStatus::kSynced);
      writeLocalAt(localDir + "/b.txt", "b edited", kLocalTime + 3);
    }
    if (extra == "pending") {
      storeRow(dir + "/c.txt", "c", SyncStatus::kUploadPending);
      writeLocalAt(localDir + "/c.txt", "c", kLocalTime);
    }
    if (extra == "ignored") writeLocal(localDir + "/~lock.tmp", "x");

    m().apply_deldir(folder);

    EXPECT_EQ(localExists(localDir), c.survives);
    EXPECT_EQ(localExists(localDir + "/sub/a.txt"), c.survives);
    EXPECT_EQ(rowOf(dir).nStatus, c.survives ? SyncStatus::kUploadPending : SyncStatus::kNotFound);
    if (!c.survives) {
      EXPECT_EQ(rowOf(dir + "/sub/a.txt").nStatus, SyncStatus::kNotFound);
    }
  }
}

// Another member deleted a folder while work inside waited for upload: the
// queued upload aimed at a folder the server no longer has. The folder and
// everything of it still here go up again, each folder queued before what
// it holds, and nothing waits on the old records.
TEST_F(ServerDeletionTest, FolderWithLocalWorkIsSentAgainWithItsContents) {
  const SyncFileItem folder = storeFolderRow("docs/w", SyncStatus::kRemovedOnServer);
  storeFolderRow("docs/w/sub", SyncStatus::kSynced);
  storeRow("docs/w/sub/a.txt", "a", SyncStatus::kSynced);
  writeLocalAt("Docs/w/sub/a.txt", "a", kLocalTime);
  const SyncFileItem pending = storeRow("docs/w/c.txt", "c", SyncStatus::kUploadPending);
  writeLocalAt("Docs/w/c.txt", "c", kLocalTime);
  ASSERT_TRUE(m().Add_Upload(pending, local("Docs/w/c.txt").string(), true, pending.strWebPath));
  TransPortDB::shareTransPortDB().Update_UploadError(upload("docs/w/c.txt").nIndex, 40403,
                                                     "not found");
  storeRow("docs/w/edited.txt", "e", SyncStatus::kSynced);
  writeLocalAt("Docs/w/edited.txt", "e, edited", kLocalTime + 4);
  storeRow("docs/w/gone.txt", "g", SyncStatus::kSynced);

  m().apply_deldir(folder);

  EXPECT_EQ(readLocal("Docs/w/sub/a.txt"), "a");
  EXPECT_EQ(readLocal("Docs/w/c.txt"), "c");
  EXPECT_EQ(rowOf("docs/w/gone.txt").nStatus, SyncStatus::kNotFound);
  for (const char* path : {"docs/w", "docs/w/sub", "docs/w/sub/a.txt", "docs/w/c.txt",
                           "docs/w/edited.txt"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(rowOf(path).nStatus, SyncStatus::kUploadPending);
    EXPECT_TRUE(rowOf(path).strUuidHash.empty());
    EXPECT_NE(upload(path).nIndex, 0);
    EXPECT_EQ(upload(path).nStatus, kTransWaiting);
  }
  EXPECT_LT(upload("docs/w").nIndex, upload("docs/w/sub").nIndex);
  EXPECT_LT(upload("docs/w/sub").nIndex, upload("docs/w/sub/a.txt").nIndex);
  EXPECT_LT(upload("docs/w").nIndex, upload("docs/w/c.txt").nIndex);
  EXPECT_EQ(rowOf("docs/w/edited.txt").ullLastTime, kLocalTime + 4);
  EXPECT_EQ(upload("docs/w/gone.txt").nIndex, 0);
}

TEST_F(ServerDeletionTest, FolderOutsideOrInABackupLinkOnlyLosesItsRows) {
  const SyncFileItem outside = storeFolderRow("other", SyncStatus::kRemovedOnServer);
  storeRow("other/a.txt", "a", SyncStatus::kServerOnly);
  m().apply_deldir(outside);
  EXPECT_EQ(rowOf("other/a.txt").nStatus, SyncStatus::kNotFound);

  const SyncFileItem backup = storeFolderRow("back/d", SyncStatus::kRemovedOnServer);
  storeRow("back/d/a.txt", "a", SyncStatus::kSynced);
  writeLocalAt("Back/d/a.txt", "edited", kLocalTime + 1);
  m().apply_deldir(backup);
  EXPECT_EQ(rowOf("back/d").nStatus, SyncStatus::kNotFound);
  EXPECT_EQ(readLocal("Back/d/a.txt"), "edited");
}

TEST_F(ServerDeletionTest, ServerDeletionOfAnEditedFileKeepsItForUpload) {
  // What the deletion applier does first with a local copy, then the commit.
  SyncFileItem row = storeRow("docs/a.txt", "old", SyncStatus::kSynced);
  writeLocalAt("Docs/a.txt", "edited!", kLocalTime + 5);
  EXPECT_FALSE(m().compare_file(local("Docs/a.txt"), row, false, true));
  m().commit();
  EXPECT_EQ(readLocal("Docs/a.txt"), "edited!");
  EXPECT_EQ(rowOf("docs/a.txt").nStatus, SyncStatus::kUploadPending);
  EXPECT_EQ(rowOf("docs/a.txt").ullLastTime, kLocalTime + 5);
}

}  // namespace
}  // namespace nb
