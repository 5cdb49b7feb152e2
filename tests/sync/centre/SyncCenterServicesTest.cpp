// The sync centre's services across libraries: the watcher registry, local
// copies by content hash, locks of opened files and the store report.
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilZip.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class SyncCenterServicesTest : public test::SyncWorld {
 protected:
  std::shared_ptr<SyncManager> start(bool linked = true) {
    putServerFile("docs/a.txt", "alpha");
    if (linked) {
      linkFolder("docs", "Docs");
      writeLocal("Docs/a.txt", "alpha");
    }
    runCoordinatorPass();
    auto m = manager();
    EXPECT_TRUE(m);
    return m;
  }

  // A synced row of docs/a.txt as the commit of its download leaves it.
  void addSyncedRow(SyncManager& m) {
    SyncFileItem row;
    row.strWebPath = "docs/a.txt";
    row.nUpID = 0;
    row.nStatus = SyncStatus::kSynced;
    row.strFileHash = sha1HexDigest("alpha");
    row.ullFileSize = 5;
    row.ullLastTime = Util::filemodifytime(local("Docs/a.txt").string());
    m.syncdb().add_new_file(row);
  }
};

TEST_F(SyncCenterServicesTest, OneWatcherPerRootSpelledExactly) {
  const auto m = start();
  makeLocalFolder("DOCS");
  ASSERT_EQ(center().handlerlist().size(), 1U);
  // The same root with and without its trailing "/" is one watcher.
  center().startWatch(local("Docs").string() + "/", m);
  EXPECT_EQ(center().handlerlist().size(), 1U);
  // Another letter case is another folder here.
  center().startWatch(local("DOCS").string(), m);
  EXPECT_EQ(center().handlerlist().size(), 2U);

  center().stopWatch(local("DOCS").string() + "/", m);
  EXPECT_EQ(center().handlerlist().size(), 1U);
  center().stopWatch(local("Nowhere").string(), m);
  EXPECT_EQ(center().handlerlist().size(), 1U);
}

TEST_F(SyncCenterServicesTest, LocalCopyByHashOnlyWhileTheFileMatchesItsRow) {
  const auto m = start();
  addSyncedRow(*m);
  const std::string hash = sha1HexDigest("alpha");
  EXPECT_EQ(center().get_local_hash(hash), local("Docs/a.txt").string());
  EXPECT_EQ(center().get_local_hash(sha1HexDigest("other")), "");

  // An edit not yet seen by the watcher: peers must not be served it.
  writeLocal("Docs/a.txt", "alpha, edited");
  EXPECT_EQ(center().get_local_hash(hash), "");
  removeLocal("Docs/a.txt");
  EXPECT_EQ(center().get_local_hash(hash), "");
}

TEST_F(SyncCenterServicesTest, LibraryWithoutLinksServesNoCopy) {
  const auto m = start(false);
  SyncFileItem row;
  row.strWebPath = "docs/a.txt";
  row.nUpID = 0;
  row.nStatus = SyncStatus::kSynced;
  row.strFileHash = sha1HexDigest("alpha");
  m->syncdb().add_new_file(row);
  EXPECT_EQ(center().get_local_hash(row.strFileHash), "");
}

class LockPathTest : public SyncCenterServicesTest {
 protected:
  void SetUp() override {
    SyncCenterServicesTest::SetUp();
    m_ = start();
    addSyncedRow(*m_);
    OpenTransportItem opened;
    opened.nMountid = kMountId;
    opened.strWebpath = "docs/a.txt";
    opened.strFullpath = local("Docs/a.txt").string();
    TransPortDB::shareTransPortDB().AddOpenHistory(opened);
    fs::permissions(local("Docs/a.txt"), fs::perms(0444));
    app_->clear();
  }
  std::shared_ptr<SyncManager> m_;
};

TEST_F(LockPathTest, OpenedFileIsLockedRecordedAndMadeWritable) {
  app_->setPromptMessage(true);
  center().lockPath(local("Docs/a.txt").string());
  EXPECT_EQ(tree().find("docs/a.txt")->lock, 1);
  const SyncFileItem row = m_->syncdb().get_single_file("docs/a.txt");
  EXPECT_EQ(row.nLock, 2);
  EXPECT_EQ(row.nLockID, user_.memberId);
  EXPECT_EQ(fs::status(local("Docs/a.txt")).permissions() & fs::perms::owner_write,
            fs::perms::owner_write);
  EXPECT_EQ(app_->count("setGrowlNotificationDescripation"), 1U);
}

TEST_F(LockPathTest, NothingIsSentForAFileNeverOpened) {
  writeLocal("Docs/other.txt", "x");
  const std::size_t before = callCount("/1/file/lock");
  center().lockPath(local("Docs/other.txt").string());
  EXPECT_EQ(callCount("/1/file/lock"), before);
  EXPECT_EQ(app_->count("setGrowlNotificationDescripation"), 0U);
}

TEST_F(LockPathTest, OfflineAndRefusalAreToldAndTheFileStaysAsItWas) {
  app_->setLinkNetwork(false);
  const std::size_t before = callCount("/1/file/lock");
  center().lockPath(local("Docs/a.txt").string());
  EXPECT_EQ(callCount("/1/file/lock"), before);
  EXPECT_EQ(app_->count("setGrowlNotificationDescripation"), 1U);

  app_->setLinkNetwork(true);
  ASSERT_EQ(tree().lock("docs/a.txt", true, test::FakeMember{99, "other"}),
            test::FakeTreeError::None);
  center().lockPath(local("Docs/a.txt").string());
  EXPECT_EQ(app_->count("setGrowlNotificationDescripation"), 2U);
  EXPECT_EQ(m_->syncdb().get_single_file("docs/a.txt").nLock, 0);
  EXPECT_EQ(fs::status(local("Docs/a.txt")).permissions() & fs::perms::owner_write,
            fs::perms::none);
}

TEST_F(SyncCenterServicesTest, StoreReportHoldsEveryStoreByItsName) {
  start();
  const fs::path target = home() / "report";
  fs::create_directories(target);
  ASSERT_TRUE(center().zipsyncdb(target.string()));
  EXPECT_FALSE(fs::exists(target / "synczip"));
  const fs::path out = home() / "unzipped";
  ASSERT_TRUE(Util::unzip((target / "synczip.zip").string(), out.string()));
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(out)) {
    if (entry.is_regular_file()) names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"vetransex3.db", "vemountex3.db",
                                          std::to_string(kMountId) + ".db"}));
}

// The report's stores unpacked into `out`: file name -> whether it opened
// and passed SQLite's integrity check.
std::map<std::string, bool> checkedStores(const fs::path& zip, const fs::path& out) {
  std::map<std::string, bool> found;
  EXPECT_TRUE(Util::unzip(zip.string(), out.string()));
  for (const auto& entry : fs::recursive_directory_iterator(out)) {
    if (!entry.is_regular_file()) continue;
    FMDatabase db(entry.path().string());
    bool ok = db.open();
    auto set = ok ? db.executeQuery("pragma integrity_check") : nullptr;
    ok = set && set->next() && set->stringForColumnIndex(0) == "ok";
    if (set) set->close();
    found[entry.path().filename().string()] = ok;
  }
  return found;
}

TEST_F(SyncCenterServicesTest, ReportStoresAreWholeWhileASyncWritesToThem) {
  const auto m = start();
  const fs::path target = home() / "report";
  fs::create_directories(target);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i) {
      SyncFileItem row;
      row.strWebPath = "docs/busy" + std::to_string(i) + ".txt";
      row.nStatus = SyncStatus::kSynced;
      row.strFileHash = sha1HexDigest(std::to_string(i));
      row.ullFileSize = 1000 + static_cast<uint64_t>(i);
      m->syncdb().add_new_file(row);
    }
  });
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(center().zipsyncdb(target.string()));
    const auto stores = checkedStores(target / "synczip.zip", home() / ("out" + std::to_string(round)));
    EXPECT_EQ(stores, (std::map<std::string, bool>{{"vetransex3.db", true},
                                                   {"vemountex3.db", true},
                                                   {std::to_string(kMountId) + ".db", true}}));
  }
  stop = true;
  writer.join();
}

TEST_F(SyncCenterServicesTest, ReportWithoutLibrariesHoldsTheTwoStores) {
  ASSERT_TRUE(center().synclist().empty());
  const fs::path target = home() / "report";
  fs::create_directories(target);
  ASSERT_TRUE(center().zipsyncdb(target.string()));
  EXPECT_EQ(checkedStores(target / "synczip.zip", home() / "out"),
            (std::map<std::string, bool>{{"vetransex3.db", true}, {"vemountex3.db", true}}));
}

}  // namespace
}  // namespace nb
