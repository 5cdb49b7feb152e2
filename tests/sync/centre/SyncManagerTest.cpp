#include "sync/centre/SyncManager.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "stores/catalogue/Mountsdb.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "support/LogCapture.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncStates.h"
#include "sync/local/Directoryhandler.h"

namespace nb {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

class SyncManagerTest : public test::SyncWorld {
 protected:
  // The library's store before its manager exists.
  std::unique_ptr<Syncdb> openStore() { return Syncdb::initpath(SyncManager::getsyncdbpath(kMountId)); }
  static SyncFileItem row(const std::string& path, int64_t status) {
    SyncFileItem item;
    item.strWebPath = path;
    item.nUpID = 0;
    item.strFileHash = std::string(40, 'a');
    item.ullFileSize = 5;
    item.nStatus = status;
    return item;
  }
};

TEST_F(SyncManagerTest, GatingWaitsTwentySecondsPerNoticeUpToTenMinutes) {
  struct Case {
    int notices;
    int waitedSeconds;
    bool canCompare;
  };
  const Case cases[] = {{0, 0, true},   {3, 60, false},  {3, 61, true},
                        {40, 600, false}, {40, 601, true}, {100, 601, true}};
  runCoordinatorPass();
  const auto m = manager();
  ASSERT_TRUE(m);
  for (const auto& c : cases) {
    m->startCanCompare();
    for (int i = 0; i < c.notices; ++i) m->setCanCompare();
    EXPECT_TRUE(m->bNeedCompare);
    m->resetCanCompare();
    EXPECT_FALSE(m->bNeedCompare);
    EXPECT_EQ(m->nCompareDoneCount, c.notices);
    clock().advance(seconds(c.waitedSeconds));
    EXPECT_EQ(m->checkCanCompare(), c.canCompare) << c.notices << " notices, " << c.waitedSeconds;
  }
}

TEST_F(SyncManagerTest, FirstCompareOnlyWithoutCursorDatelineAndRootRows) {
  struct Case {
    uint64_t dateline;
    bool rootRow;
    bool firstCompare;
  };
  for (const Case c : {Case{0, false, true}, Case{1700000000, false, false}, Case{0, true, false}}) {
    {
      auto store = openStore();
      ASSERT_TRUE(store);
      store->insert_total_version("/", c.dateline);
      if (c.rootRow) store->add_new_file(row("a.txt", SyncStatus::kSynced));
    }
    ASSERT_TRUE(center().createmount(mountItem()));
    const auto m = manager();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->bFirstCompare, c.firstCompare) << c.dateline << " " << c.rootRow;
    EXPECT_EQ(m->ullCompareTime, c.dateline);
    center().RemoveSyncManager(kMountId);
    fs::remove(SyncManager::getsyncdbpath(kMountId));
  }
}

TEST_F(SyncManagerTest, MissingLinkedFolderIsUnlinkedAndReadAfresh) {
  linkFolder("docs", "Docs");
  linkFolder("pics", "Pics");
  {
    auto store = openStore();
    store->add_new_file(row("docs/a.txt", SyncStatus::kUploadPending));
  }
  TransportItem upload;
  upload.nMountid = kMountId;
  upload.strWebpath = "docs/a.txt";
  upload.strFullpath = local("Docs/a.txt").string();
  upload.nStatus = kTransWaiting;
  ASSERT_TRUE(TransPortDB::shareTransPortDB().Add_Upload(upload, "docs"));
  removeLocal("Docs");
  writeLocal("Elsewhere/keep.txt", "mine");

  test::LogCapture log;
  runCoordinatorPass();
  const auto m = manager();
  ASSERT_TRUE(m);
  const auto links = m->syncdb().get_links();
  ASSERT_EQ(links.size(), 1U);
  EXPECT_EQ(links[0].strWebPath, "pics");
  EXPECT_EQ(m->linkfolder().getLinkNodes().size(), 1U);
  // The old record went; the row's pending upload was queued again from its
  // content hash alone, since the path has no local place any more.
  const TransportItem requeued = TransPortDB::shareTransPortDB().Get_Upload(kMountId, "docs/a.txt");
  EXPECT_EQ(requeued.strFullpath, "");
  EXPECT_EQ(requeued.nExpand, 2);
  EXPECT_GE(network().count("ClearTrans"), 1U);
  EXPECT_EQ(network().calls().front(), (test::FakeNetwork::Call{"ClearTrans", "docs|7|both"}));
  // The folder was queued for a fresh read, which the manager's first pass
  // already worked: the folder's feed was asked for from its start.
  bool reread = false;
  for (const auto& call : api_.callsTo("/1/file/compare")) {
    reread = reread || (call.param("fullpath") == "/docs/" && call.param("id") == "1" &&
                        call.param("init") == "1");
  }
  EXPECT_TRUE(reread);
  EXPECT_NE(log.text().find("folder not exist"), std::string::npos);
  EXPECT_EQ(readLocal("Elsewhere/keep.txt"), "mine");
  // The remaining link is watched.
  ASSERT_EQ(center().handlerlist().size(), 1U);
  EXPECT_EQ(center().handlerlist()[0]->_srcPath(), local("Pics").string() + "/");
}

TEST_F(SyncManagerTest, FavouriteLinksTakeTheFirstFreeName) {
  linkFolder("a", "one/Docs");
  linkFolder("b", "two/Docs");
  linkFolder("c", "three/Docs");
  runCoordinatorPass();
  const fs::path favorites = home() / "Favorites";
  EXPECT_EQ(fs::read_symlink(favorites / "Docs"), local("one/Docs"));
  EXPECT_EQ(fs::read_symlink(favorites / "Docs(1)"), local("two/Docs"));
  EXPECT_EQ(fs::read_symlink(favorites / "Docs(2)"), local("three/Docs"));

  // A later session finds its links known and makes none.
  center().exit();
  center().setinit((root() / "m.db").string(), false);
  runCoordinatorPass();
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(favorites)) ++count;
  EXPECT_EQ(count, 3U);
}

TEST_F(SyncManagerTest, StopThenStartRequeuesPendingRowsAndRescans) {
  linkFolder("docs", "Docs");
  {
    auto store = openStore();
    store->add_new_file(row("docs/up.txt", SyncStatus::kUploadPending));
    store->add_new_file(row("docs/down.txt", SyncStatus::kDownloadPending));
    store->add_new_file(row("docs/again.txt", SyncStatus::kReupload));
    store->add_new_file(row("docs/done.txt", SyncStatus::kSynced));
  }
  runCoordinatorPass();
  const auto m = manager();
  ASSERT_TRUE(m);
  TransPortDB& transfers = TransPortDB::shareTransPortDB();
  const auto check = [&] {
    const TransportItem up = transfers.Get_Upload(kMountId, "docs/up.txt");
    EXPECT_NE(up.nIndex, 0);
    EXPECT_EQ(up.strFullpath, local("Docs/up.txt").string());
    EXPECT_EQ(up.nExpand, 0);
    EXPECT_EQ(transfers.Get_Upload(kMountId, "docs/again.txt").nExpand, 3);
    const TransportItem down = transfers.Get_Download(kMountId, "docs/down.txt");
    EXPECT_EQ(down.strFullpath, local("Docs/down.txt").string());
    EXPECT_TRUE(down.bSync);
    EXPECT_EQ(transfers.Get_Upload(kMountId, "docs/done.txt").nIndex, 0);
  };
  check();
  m->bScaned = true;
  transfers.RemoveMountid(kMountId);
  network().clear();

  m->stop();
  EXPECT_FALSE(m->bStart());
  m->start();
  EXPECT_TRUE(m->bStart());
  EXPECT_FALSE(m->bScaned);
  EXPECT_TRUE(m->bNeedCompare);
  check();
  EXPECT_EQ(network().calls(),
            (std::vector<test::FakeNetwork::Call>{{"SendCallbackAction", "download|reget"},
                                                  {"SendCallbackAction", "upload|reget"}}));
}

TEST_F(SyncManagerTest, UnreadableStoreAnswersEmptyAndTheLibraryGoesOn) {
  // A file where the library's folder belongs: no store can be made there.
  const fs::path folder = fs::path(SyncManager::getsyncdbpath(kMountId)).parent_path();
  fs::remove_all(folder);
  std::ofstream(folder) << "x";
  test::LogCapture log;
  runCoordinatorPass();
  const auto m = manager();
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->bStart());
  EXPECT_TRUE(m->bFirstCompare);
  EXPECT_TRUE(m->syncdb().get_links().empty());
  EXPECT_FALSE(log.errorLines().empty());
}

TEST_F(SyncManagerTest, PermissionsFromTheCataloguePropertyList) {
  struct Case {
    std::string property;
    int64_t bits;
  };
  const Case cases[] = {
      {R"({"permissions":["file_read","file_upload"]})", Permission::kFileRead | Permission::kFileUpload},
      {R"({"permissions":[]})", Permission::kAll},
      {R"({"other":1})", Permission::kAll},
      {"not json", Permission::kAll},
  };
  runCoordinatorPass();
  const auto m = manager();
  ASSERT_TRUE(m);
  for (const auto& c : cases) {
    MountItem item = mountItem();
    item.strPropertys = c.property;
    item.strOrgName = "Renamed";
    Mountsdb::shareMountsdb().addMount(item);
    m->setpermisson();
    EXPECT_EQ(m->nPermissions, c.bits) << c.property;
    EXPECT_EQ(m->_strMountName(), "Renamed");
  }
}

}  // namespace
}  // namespace nb
