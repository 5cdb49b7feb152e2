// The sync centre over a signed-in session: registry, compare notices,
// sign-out and a second sign-in in one process.
#include <atomic>
#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>

#include "api/session/UserData.h"
#include "stores/catalogue/Mountsdb.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/local/Directoryhandler.h"

namespace nb {
namespace {

using std::chrono::seconds;

class SyncCenterSessionTest : public test::SyncWorld {};

TEST_F(SyncCenterSessionTest, FirstPassMakesAndStartsAManagerPerStoredLibrary) {
  linkFolder("docs", "Docs");
  app().setNeedLoading(true);
  runCoordinatorPass();
  const auto m = manager();
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->bStart());
  EXPECT_TRUE(center().bInit());
  EXPECT_FALSE(center().bFirst());
  EXPECT_EQ(center().GetSyncManagerByOrgid(3), m);
  EXPECT_EQ(app().count("setBResetHotFile"), 1U);
  EXPECT_EQ(app().count("loadFinishForLaunchpad"), 1U);
  EXPECT_EQ(app().count("initFavoriteClear"), 1U);
  ASSERT_EQ(center().handlerlist().size(), 1U);
  EXPECT_EQ(center().handlerlist()[0]->_managerlist().front(), m);
  // The first cycle queued a pass for it, which has run.
  EXPECT_FALSE(m->bInWork);
  EXPECT_FALSE(center().bCompareNow());
}

TEST_F(SyncCenterSessionTest, FirstRefreshReloadsFavouritesAFailedOneKeepsThem) {
  drive_->setFavoriteFiles(nlohmann::json::array({{{"fav_id", 2}, {"mount_id", 7}, {"hash", "h1"}}}));
  runCoordinatorPass();
  EXPECT_EQ(Mountsdb::shareMountsdb().getTypeForHash("h1"), std::vector<int64_t>{2});

  // The next session's first refresh fails to fetch them.
  center().exit();
  center().setinit((root() / "m2.db").string(), false);
  drive_->setFavoriteFiles(nlohmann::json::array());
  api_.fail("/1/favorites/get_all_files", test::FakeFault::errorCode(50000, 500));
  runCoordinatorPass();
  EXPECT_EQ(Mountsdb::shareMountsdb().getTypeForHash("h1"), std::vector<int64_t>{2});
  EXPECT_EQ(app().count("setBResetHotFile"), 2U);
}

TEST_F(SyncCenterSessionTest, OfflineRefreshUsesTheStoredCatalogue) {
  app().setLinkNetwork(false);
  runCoordinatorPass();
  EXPECT_TRUE(manager());
  EXPECT_TRUE(center().bInit());
}

TEST_F(SyncCenterSessionTest, RefreshRequestPicksUpANewLibraryAtTheNextPass) {
  runCoordinatorPass();
  MountItem other = mountItem();
  other.nMountID = 8;
  other.nOrgID = 4;
  other.strInfo = R"({"mount_id":8})";
  Mountsdb::shareMountsdb().addMount(other);
  runCoordinatorPassAfter(seconds(1));
  EXPECT_EQ(manager(8), nullptr);
  center().setBRegetServer(true);
  runCoordinatorPassAfter(seconds(1));
  EXPECT_TRUE(manager(8));
  EXPECT_FALSE(center().bRegetServer());
  // Not the session's first refresh: the pages hear of the library.
  ASSERT_FALSE(app().pageEvents().empty());
  EXPECT_EQ(app().pageEvents().back().name(), "AddOrgObject");
}

TEST_F(SyncCenterSessionTest, LaunchpadWaitsForTheScreenToBeUnlocked) {
  UserData::shareUserData().setBShowLaunchpad(true);
  app().setLockScreen(true);
  runCoordinatorPass();
  EXPECT_TRUE(UserData::shareUserData().bShowLaunchpad());
  app().setLockScreen(false);
  runCoordinatorPassAfter(seconds(61));
  EXPECT_FALSE(UserData::shareUserData().bShowLaunchpad());
}

TEST_F(SyncCenterSessionTest, CompareNoticesCountOnlyWellFormedOnes) {
  runCoordinatorPass();
  const auto m = manager();
  ASSERT_TRUE(m);
  struct Case {
    std::string json;
    bool compareNow;
    int64_t counted;
  };
  const Case cases[] = {
      {R"({"type":"compare","mount_ids":[7]})", true, 1},
      {R"({"type":"compare","mount_ids":["7"]})", true, 1},
      {R"({"type":"compare","mount_ids":[99]})", true, 0},
      {R"({"type":"compare","mount_ids":[]})", false, 0},
      {R"({"type":"compare"})", false, 0},
      {R"({"type":"other","mount_ids":[7]})", false, 0},
      {R"({"type":"compare","mount_ids":7})", false, 0},
      {"[1]", false, 0},
      {"not json", false, 0},
  };
  for (const auto& c : cases) {
    center().setBCompareNow(false);
    m->startCanCompare();
    m->bNeedCompare = false;
    center().comparenotify(c.json);
    EXPECT_EQ(center().bCompareNow(), c.compareNow) << c.json;
    EXPECT_EQ(m->nCompareCount, c.counted) << c.json;
    EXPECT_EQ(m->bNeedCompare, c.counted > 0) << c.json;
  }
}

TEST_F(SyncCenterSessionTest, ExitStopsManagersAndWatchers) {
  linkFolder("docs", "Docs");
  runCoordinatorPass();
  const auto m = manager();
  ASSERT_TRUE(m);
  const auto handlers = center().handlerlist();
  ASSERT_EQ(handlers.size(), 1U);

  center().exit();
  EXPECT_TRUE(m->bOut());
  EXPECT_TRUE(center().synclist().empty());
  EXPECT_TRUE(center().handlerlist().empty());
  EXPECT_FALSE(handlers[0]->_isWatchingPaths());
  EXPECT_TRUE(handlers[0]->_managerlist().empty());
  EXPECT_FALSE(center().coordinatorPass());

  // A new session watches the same root with a new watcher.
  center().setinit((root() / "m2.db").string(), false);
  runCoordinatorPass();
  ASSERT_EQ(center().handlerlist().size(), 1U);
  EXPECT_NE(center().handlerlist()[0], handlers[0]);
  EXPECT_NE(manager(), m);
}

// A coordinator held inside its first refresh (as by a page event waiting
// for the main thread) while the user signs out and in again: neither call
// waits for it, and the new session's coordinator starts its first pass
// only once the old one has ended.
TEST_F(SyncCenterSessionTest, SecondSignInRunsExactlyOneCoordinator) {
  center().exit();
  std::mutex mutex;
  std::condition_variable changed;
  int entered = 0;
  bool released = false;
  app().setOnCall([&](const std::string& name) {
    if (name != "setBResetHotFile") return;
    std::unique_lock lock(mutex);
    ++entered;
    changed.notify_all();
    if (entered == 1) changed.wait(lock, [&] { return released; });
  });
  const auto waitEntered = [&](int count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, seconds(60), [&] { return entered >= count; });
  };

  center().setinit((root() / "a.db").string());
  ASSERT_TRUE(waitEntered(1));
  center().exit();
  center().setinit((root() / "b.db").string());
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(entered, 1);  // the new coordinator waits for the old one
    released = true;
  }
  changed.notify_all();
  ASSERT_TRUE(waitEntered(2));
  EXPECT_TRUE(clock().waitForSleepers(1));
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(entered, 2);
  }
  // The old coordinator saw its session end inside the refresh and made no
  // manager; the new one made exactly one.
  EXPECT_EQ(center().synclist().size(), 1U);
  center().exit();
  center().joinCoordinator();
  app().setOnCall({});
}

}  // namespace
}  // namespace nb
