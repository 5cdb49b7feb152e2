// Applying server entries: the dispatch of a page, deletions, re-upload
// requests and the re-read of one path.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "api/session/UserData.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "stores/cache/SyncCache.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncStates.h"
#include "sync/local/Directoryhandler.h"
#include "sync/server/FeedFixture.h"

namespace nb {
namespace {

namespace fs = std::filesystem;
using test::FakeFault;

class ServerItemsTest : public test::FeedFixture {
 protected:
  // Applies one entry as a feed page would.
  void apply(SyncManager& m, const CompareItem& item, SyncManager::ViewList* views = nullptr) {
    EXPECT_TRUE(m.receive_datas({item}, views, false));
  }

  int64_t status(SyncManager& m, const std::string& path) {
    return m.syncdb().get_single_file(path).nStatus;
  }
};

TEST_F(ServerItemsTest, ADeletionWithoutRowOnlyRefreshesItsFolderViews) {
  const auto m = start();
  const auto docs = app().addWindow(kMountId, "docs");
  const auto top = app().addWindow(kMountId, "");
  SyncManager::ViewList views;
  apply(*m, entry("docs/x.txt", FeedCmd::kDelete), &views);
  apply(*m, entry("docs/y.txt", FeedCmd::kDelete), &views);
  ASSERT_EQ(views.size(), 1U);
  EXPECT_EQ(views[0], docs);
  EXPECT_TRUE(storeRows().empty());
  EXPECT_EQ(network().count("ClearTrans"), 0U);
}

struct StaleDownloadCase {
  const char* name;
  bool edited;
  bool recycle;
};

class StaleDownloadTest : public ServerItemsTest,
                          public testing::WithParamInterface<StaleDownloadCase> {};

TEST_P(StaleDownloadTest, AFileAwaitingDownloadGoesOnlyWhenUnchanged) {
  const StaleDownloadCase& c = GetParam();
  linkFolder("", "All");
  const auto m = start();
  app().setRecyclebin(c.recycle);
  writeLocal("All/a.txt", "old");
  const uint64_t mtime = Util::filemodifytime(local("All/a.txt").string());
  plant(*m, "a.txt", SyncStatus::kDownloadPending, false, c.edited ? mtime - 5 : mtime);

  apply(*m, entry("a.txt", FeedCmd::kDelete));
  // Whether the desktop's Trash takes the file depends on the folders GLib
  // settled on at the process's first use, not on this test's HOME.
  if (!c.recycle) {
    EXPECT_EQ(fs::exists(local("All/a.txt")), c.edited);
  }
  EXPECT_EQ(status(*m, "a.txt"),
            c.edited ? SyncStatus::kUploadPending : SyncStatus::kRemovedOnServer);
  EXPECT_EQ(TransPortDB::shareTransPortDB().Get_Upload(kMountId, "a.txt").nIndex != 0, c.edited);
  EXPECT_EQ(network().count("ClearTrans"), 1U);
}

INSTANTIATE_TEST_SUITE_P(Copies, StaleDownloadTest,
                         testing::Values(StaleDownloadCase{"unchanged", false, false},
                                         StaleDownloadCase{"unchanged, to the Trash", false, true},
                                         StaleDownloadCase{"edited here", true, false}));

TEST_F(ServerItemsTest, DeletedRowsTakeTheirStatusFromWhatTheyWere) {
  const auto m = start();
  plant(*m, "kept", SyncStatus::kServerOnly, true);
  plant(*m, "kept/a.txt", SyncStatus::kServerOnly);
  plant(*m, "done.txt", SyncStatus::kSynced);
  plant(*m, "mine.txt", SyncStatus::kUploadPending);
  plant(*m, "tree", SyncStatus::kUploadPending, true);
  plant(*m, "tree/in.txt", SyncStatus::kSynced);
  plant(*m, "tree/down.txt", SyncStatus::kDownloadPending);
  plant(*m, "tree/new.txt", SyncStatus::kUploadPending);
  m->bSpaceMax = true;

  for (const auto& [path, dir] : {std::pair{"kept", true}, std::pair{"done.txt", false},
                                  std::pair{"mine.txt", false}, std::pair{"tree", true}}) {
    apply(*m, entry(path, FeedCmd::kDelete, dir));
  }
  const std::string hash(40, 'a');
  const test::Rows expected{
      {"done.txt", {SyncStatus::kRemovedOnServer, false, hash}},
      {"mine.txt", {SyncStatus::kUploadPending, false, hash}},
      {"tree", {SyncStatus::kUploadPending, true, ""}},
      {"tree/in.txt", {SyncStatus::kDeletedLocally, false, hash}},
      {"tree/down.txt", {SyncStatus::kDeletedLocally, false, hash}},
      {"tree/new.txt", {SyncStatus::kUploadPending, false, hash}},
  };
  EXPECT_EQ(storeRows(), expected);
  EXPECT_FALSE(m->bSpaceMax);
}

struct SyncedCopyCase {
  const char* name;
  std::string bytes;  // the local copy now; the row recorded one byte
  int64_t statusAfter;
};

class SyncedCopyTest : public ServerItemsTest, public testing::WithParamInterface<SyncedCopyCase> {};

// A synced file deleted on the server: an untouched copy follows the
// deletion, an edited one is the user's work and goes up again.
TEST_P(SyncedCopyTest, AServerDeletionOfASyncedFile) {
  const SyncedCopyCase& c = GetParam();
  linkFolder("", "All");
  const auto m = start();
  writeLocal("All/a.txt", "x");
  const uint64_t mtime = Util::filemodifytime(local("All/a.txt").string());
  plant(*m, "a.txt", SyncStatus::kSynced, false, mtime);
  if (c.bytes != "x") writeLocal("All/a.txt", c.bytes);

  apply(*m, entry("a.txt", FeedCmd::kDelete));
  EXPECT_EQ(status(*m, "a.txt"), c.statusAfter);
  EXPECT_TRUE(fs::exists(local("All/a.txt")));
}

INSTANTIATE_TEST_SUITE_P(
    Copies, SyncedCopyTest,
    testing::Values(SyncedCopyCase{"untouched", "x", SyncStatus::kRemovedOnServer},
                    SyncedCopyCase{"edited", "edited here", SyncStatus::kUploadPending}));

TEST_F(ServerItemsTest, AFolderDeletionTakesLinksAndCacheFoldersInsideIt) {
  linkFolder("docs/sub", "Sub");
  linkFolder("other", "Other");
  const auto m = start();
  const fs::path content = fs::path(UserData::shareUserData().getuserfolderpath()) / "content-c";
  SyncCache::shareSyncCache().addCacheByPath(content.string());
  const CacheFolderItem cache{"docs/c", content.string()};
  m->cachefolder().addNode(cache);
  ASSERT_TRUE(m->syncdb().add_cache(cache));

  ASSERT_EQ(center().handlerlist().size(), 2U);

  apply(*m, entry("docs", FeedCmd::kDelete, true));
  ASSERT_EQ(m->linkfolder().getLinkNodes().size(), 1U);
  EXPECT_EQ(m->linkfolder().getLinkNodes()[0].strWebPath, "other");
  EXPECT_EQ(app().count("deleteFavorite"), 1U);
  // Unlinked for good: neither watched nor stored for the next start.
  ASSERT_EQ(center().handlerlist().size(), 1U);
  EXPECT_EQ(center().handlerlist()[0]->_srcPath(), local("Other").string() + "/");
  const auto stored = m->syncdb().get_links();
  ASSERT_EQ(stored.size(), 1U);
  EXPECT_EQ(stored[0].strWebPath, "other");
  EXPECT_TRUE(m->cachefolder().nodes().empty());
  EXPECT_TRUE(m->syncdb().get_caches().empty());
  EXPECT_FALSE(fs::exists(content));
}

TEST_F(ServerItemsTest, APageSkipsUnknownCommandsAndUnsafePaths) {
  const auto m = start();
  plant(*m, "a.txt", SyncStatus::kSynced);
  plant(*m, "b.txt", SyncStatus::kSynced);
  CompareItem escape = entry("b.txt", FeedCmd::kDelete);
  escape.strWebPathTo = "../outside.txt";
  EXPECT_TRUE(m->receive_datas({entry("a.txt", 2), entry("../a.txt", FeedCmd::kDelete), entry("", 0),
                                escape, entry("b.txt", FeedCmd::kDelete)},
                               nullptr, false));
  EXPECT_EQ(status(*m, "a.txt"), SyncStatus::kSynced);
  EXPECT_EQ(status(*m, "b.txt"), SyncStatus::kRemovedOnServer);
  EXPECT_TRUE(m->receive_datas({}, nullptr, false));

  m->exit();
  EXPECT_FALSE(m->receive_datas({entry("a.txt", FeedCmd::kDelete)}, nullptr, false));
  EXPECT_EQ(status(*m, "a.txt"), SyncStatus::kSynced);
}

enum class Source { Local, Cache, UploadRecord, None };

struct ReuploadCase {
  const char* name;
  Source source;
  int64_t status;
  int64_t statusAfter;
  bool queued;
};

class ReuploadTest : public ServerItemsTest, public testing::WithParamInterface<ReuploadCase> {};

TEST_P(ReuploadTest, AReuploadRequestSendsWhateverCopyThereIs) {
  const ReuploadCase& c = GetParam();
  if (c.source == Source::Local) linkFolder("", "All");
  const auto m = start();
  SyncFileItem row = plant(*m, "a.txt", c.status);
  const std::string bytes = "content";
  row.strFileHash = sha1HexDigest(bytes);
  m->syncdb().update_filehashandfilesize("a.txt", row.strFileHash, bytes.size());
  std::string expectedSource;
  switch (c.source) {
    case Source::Local:
      writeLocal("All/a.txt", bytes);
      expectedSource = local("All/a.txt").string();
      break;
    case Source::Cache:
      writeLocal("elsewhere.txt", bytes);
      ASSERT_TRUE(SyncCache::shareSyncCache().addCacheFileByPath(local("elsewhere.txt").string(),
                                                                 row.strFileHash));
      expectedSource = UserData::shareUserData().getDecryptPath() + "/file_" + row.strFileHash;
      break;
    case Source::UploadRecord:
      writeLocal("picked.txt", bytes);
      expectedSource = local("picked.txt").string();
      ASSERT_TRUE(m->Add_Upload(row, expectedSource, false, "a.txt"));
      break;
    case Source::None:
      break;
  }

  apply(*m, entry("a.txt", FeedCmd::kReupload));
  EXPECT_EQ(status(*m, "a.txt"), c.statusAfter);
  EXPECT_EQ((m->nCallbackAction & 1) != 0, c.queued);
  const TransportItem upload = TransPortDB::shareTransPortDB().Get_Upload(kMountId, "a.txt");
  if (c.queued) {
    EXPECT_EQ(upload.strFullpath, expectedSource);
    EXPECT_EQ(upload.bSync, c.source == Source::Local);
    EXPECT_EQ(readLocal(expectedSource), bytes);
  } else if (c.source != Source::UploadRecord) {
    EXPECT_EQ(upload.nIndex, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, ReuploadTest,
    testing::Values(
        ReuploadCase{"local copy", Source::Local, SyncStatus::kSynced, SyncStatus::kReupload, true},
        ReuploadCase{"cached copy", Source::Cache, SyncStatus::kSynced, SyncStatus::kSynced, true},
        ReuploadCase{"upload record", Source::UploadRecord, SyncStatus::kServerOnly,
                     SyncStatus::kServerOnly, true},
        ReuploadCase{"nothing", Source::None, SyncStatus::kSynced, SyncStatus::kSynced, false},
        ReuploadCase{"already uploading", Source::Local, SyncStatus::kUploadPending,
                     SyncStatus::kUploadPending, false},
        ReuploadCase{"already asked", Source::Local, SyncStatus::kReupload, SyncStatus::kReupload,
                     false}));

TEST_F(ServerItemsTest, ReReadingAFileGoneFromTheServerDropsItsRow) {
  const auto m = start();
  const SyncFileItem row = plant(*m, "gone.txt", SyncStatus::kUploadPending);
  m->Add_Upload(row, "", true, "gone.txt");
  plant(*m, "other.txt", SyncStatus::kSynced);
  m->compare_now("gone.txt", false, "");
  EXPECT_EQ(storeRows().count("gone.txt"), 0U);
  EXPECT_EQ(TransPortDB::shareTransPortDB().Get_Upload(kMountId, "gone.txt").nIndex, 0);
  // Any other failure leaves the row.
  api_.fail("/2/file/info", FakeFault::errorCode(50000, 500));
  m->compare_now("other.txt", false, "");
  EXPECT_EQ(storeRows().count("other.txt"), 1U);
}

TEST_F(ServerItemsTest, ReReadingAFolderReadsItsFeedFromTheStart) {
  addServerFolder("docs");
  const auto m = start();
  putServerFile("docs/a.txt", "short-lived");
  putServerFile("docs/b.txt", "kept");
  removeServer("docs/a.txt");
  api_.clearCalls();
  m->compare_now("docs", true, "{}");
  EXPECT_EQ(feedParams("fullpath"), std::vector<std::string>{"/docs/"});
  EXPECT_EQ(feedParams("dateline"), std::vector<std::string>{"0"});
  EXPECT_EQ(feedParams("id"), std::vector<std::string>{"0"});
  EXPECT_EQ(feedParams("init"), std::vector<std::string>{"-"});
  // The folder itself comes first, then its whole history.
  const test::Rows rows = storeRows();
  ASSERT_EQ(rows.count("docs"), 1U);
  EXPECT_TRUE(rows.at("docs").dir);
  EXPECT_EQ(rows.count("docs/a.txt"), 0U);
  EXPECT_EQ(rows.count("docs/b.txt"), 1U);
  // The lock is free again: nothing was left holding it.
  ASSERT_TRUE(m->try_lock());
  m->unlock();
}

}  // namespace
}  // namespace nb
