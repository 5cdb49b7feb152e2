// One comparison pass of a library on the compare queue.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "platform/Clock.h"
#include "stores/syncdb/SyncStatus.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/server/FeedFixture.h"

namespace nb {
namespace {

using test::FakeFault;

class MountCompareTest : public test::FeedFixture {
 protected:
  std::shared_ptr<SyncManager> start() {
    auto m = FeedFixture::start();
    api_.clearCalls();
    return m;
  }
};

struct NoPullCase {
  const char* name;
  bool gated;
  bool online;
};

class NoPullTest : public MountCompareTest, public testing::WithParamInterface<NoPullCase> {};

TEST_P(NoPullTest, WithoutAPullTheRestOfThePassStillRuns) {
  const NoPullCase& c = GetParam();
  const auto m = start();
  if (c.gated) {
    m->setCanCompare();
    m->resetCanCompare();  // one notice counted: 20 s before the next pull
    m->setCanCompare();
  }
  app().setLinkNetwork(c.online);
  m->syncdb().inset_sync_now("a.txt", false, false);

  runComparePass();
  EXPECT_EQ(callCount("/1/file/compare"), 0U);
  EXPECT_EQ(callCount("/2/file/info"), 1U);  // the re-read queue was worked
  EXPECT_FALSE(m->bInWork);
  EXPECT_TRUE(m->bNeedCompare);
}

INSTANTIATE_TEST_SUITE_P(Gating, NoPullTest,
                         testing::Values(NoPullCase{"gating refuses", true, true},
                                         NoPullCase{"offline", false, false}));

struct PushChannelCase {
  bool socketUp;
  bool feedFails;
  bool needCompareAfter;
};

class PushChannelTest : public MountCompareTest,
                        public testing::WithParamInterface<PushChannelCase> {};

TEST_P(PushChannelTest, ThePushChannelDecidesWhetherTheGatingIsReset) {
  const PushChannelCase& c = GetParam();
  const auto m = start();
  center().setBSocketIO(c.socketUp);
  m->setCanCompare();
  if (c.feedFails) api_.fail("/1/file/compare", FakeFault::errorCode(50000, 500));
  runComparePass();
  EXPECT_EQ(m->bNeedCompare, c.needCompareAfter);
}

INSTANTIATE_TEST_SUITE_P(Channel, PushChannelTest,
                         testing::Values(PushChannelCase{true, false, false},
                                         PushChannelCase{false, false, true},
                                         PushChannelCase{true, true, true}));

TEST_F(MountCompareTest, AFullPageAsksForTheNextCycleAtOnce) {
  const auto m = start();
  ASSERT_EQ(tree().putFile("f.txt", std::string(40, 'b'), 1, {}), test::FakeTreeError::None);
  for (int i = 1; i < 1000; ++i) ASSERT_EQ(tree().announce("f.txt", 2), test::FakeTreeError::None);
  center().setBCompareNow(false);
  runComparePass();
  EXPECT_TRUE(center().bCompareNow());

  center().setBCompareNow(false);
  runComparePass();
  EXPECT_FALSE(center().bCompareNow());
}

TEST_F(MountCompareTest, TheStoreIsBackedUpEveryHalfHour) {
  const auto m = start();
  const double now = static_cast<double>(platform::nowSeconds());
  // The manager's first pass backs its store up.
  EXPECT_EQ(m->syncdb().ftBackupTime(), now);
  for (const auto& [age, backedUp] : {std::pair{1800.0, false}, std::pair{1801.0, true}}) {
    SCOPED_TRACE(age);
    m->syncdb().setFtBackupTime(now - age);
    runComparePass();
    EXPECT_EQ(m->syncdb().ftBackupTime() == now, backedUp);
  }
}

TEST_F(MountCompareTest, AFailingPassLeavesTheLibraryQueueable) {
  const auto m = start();
  ASSERT_EQ(tree().putFile("a.txt", std::string(40, 'b'), 1, {}), test::FakeTreeError::None);
  cursorAtFeedEnd(*m);
  plant(*m, "a.txt", SyncStatus::kSynced);
  removeServer("a.txt");
  network().setOnCall([](const test::FakeNetwork::Call& call) {
    if (call.name == "ClearTrans") throw std::runtime_error("transfer engine failed");
  });
  runComparePass();
  network().setOnCall({});
  EXPECT_FALSE(m->bInWork);
  ASSERT_TRUE(m->try_lock());
  m->unlock();

  // The next pass applies the deletion, stores the cursor and commits the
  // deletion, which settles the row.
  runComparePass();
  EXPECT_EQ(storedCursor(*m).ullIndex, tree().changes().back().id);
  EXPECT_EQ(m->syncdb().get_single_file("a.txt").nStatus, SyncStatus::kNotFound);
}

}  // namespace
}  // namespace nb
