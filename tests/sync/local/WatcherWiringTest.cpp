// The folder watchers as the sync centre runs them for real managers.
#include <gtest/gtest.h>

#include "support/SyncWorld.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/local/Directoryhandler.h"

namespace nb {
namespace {

class WatcherWiringTest : public test::SyncWorld {};

TEST_F(WatcherWiringTest, LostEventsMakeTheManagerRescanAtTheNextCycle) {
  linkFolder("docs", "Docs");
  runCoordinatorPass();
  const auto m = manager();
  ASSERT_TRUE(m);
  ASSERT_EQ(center().handlerlist().size(), 1U);
  const auto handler = center().handlerlist()[0];
  ASSERT_TRUE(handler->waitUntilWatching());
  EXPECT_EQ(handler->_managerlist().front(), m);

  m->bScaned = true;
  m->bNeedCompare = false;
  center().setBCompareNow(false);
  handler->watcher().simulateOverflow();
  EXPECT_TRUE(eventually([&] { return !m->bScaned && center().bCompareNow(); }));
  EXPECT_TRUE(m->bNeedCompare);
}

TEST_F(WatcherWiringTest, UnlinkingTheLastManagerStopsTheWatcher) {
  linkFolder("docs", "Docs");
  runCoordinatorPass();
  const auto m = manager();
  ASSERT_EQ(center().handlerlist().size(), 1U);
  const auto handler = center().handlerlist()[0];
  center().stopWatch(local("Docs").string(), m);
  EXPECT_TRUE(center().handlerlist().empty());
  EXPECT_FALSE(handler->_isWatchingPaths());
  EXPECT_TRUE(handler->_managerlist().empty());
}

}  // namespace
}  // namespace nb
