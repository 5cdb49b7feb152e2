#include "sync/centre/CoordinatorLoop.h"

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ManualClock.h"

namespace nb {
namespace {

using std::chrono::seconds;

// Records the steps of each pass and answers what the test set.
class RecordingSteps : public CoordinatorSteps {
 public:
  void prepare() override { calls.push_back("prepare"); }
  bool bOut() override { return out; }
  bool bSocketIO() override { return socketIO; }
  bool bRegetServer() override { return regetServer; }
  bool bCompareNow() override { return compareNow; }
  bool retryRenames() override {
    calls.push_back("renames");
    return startedManager;
  }
  void trimCache() override { calls.push_back("trim"); }
  double catalogueBackupTime() override { return backupTime; }
  void backupStores() override {
    calls.push_back("backup");
    backupTime = static_cast<double>(platform::nowSeconds());
  }
  int refreshCatalogue() override {
    calls.push_back("refresh");
    if (throwInRefresh) throw std::runtime_error("refresh");
    return refreshResult;
  }
  void afterRefresh() override {
    regetServer = false;
    compareNow = true;  // the centre's resetcomparenow
  }
  bool compareQueueEmpty() override { return queueEmpty; }
  void startCycle() override {
    calls.push_back("cycle");
    compareNow = false;
  }

  std::vector<std::string> takeCalls() { return std::exchange(calls, {}); }

  std::vector<std::string> calls;
  bool out = false;
  bool socketIO = false;
  bool regetServer = false;
  bool compareNow = false;
  // No started manager: the rename step shows in every pass.
  bool startedManager = false;
  double backupTime = 0.0;
  int refreshResult = 0;
  bool throwInRefresh = false;
  bool queueEmpty = true;
};

class CoordinatorLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(loop.begin());
    steps.takeCalls();
  }
  // One pass after `by` more seconds; answers its steps.
  std::vector<std::string> passAfter(seconds by) {
    clock->advance(by);
    EXPECT_EQ(loop.pass(), CoordinatorLoop::PassEnd::kSleep);
    return steps.takeCalls();
  }
  using Calls = std::vector<std::string>;
  static bool has(const Calls& calls, const std::string& step) {
    return std::find(calls.begin(), calls.end(), step) != calls.end();
  }

  std::shared_ptr<test::ManualClock> clock = std::make_shared<test::ManualClock>();
  test::ScopedClockOverride clockOverride{clock};
  RecordingSteps steps;
  CoordinatorLoop loop{steps};
};

TEST_F(CoordinatorLoopTest, FirstPassRunsEverythingButTheTrimInOrder) {
  EXPECT_EQ(passAfter(seconds(0)), (Calls{"renames", "backup", "refresh", "cycle"}));
}

TEST_F(CoordinatorLoopTest, TrimComesStrictlyAfter1800SecondsThenEvery1800) {
  EXPECT_FALSE(has(passAfter(seconds(0)), "trim"));
  EXPECT_FALSE(has(passAfter(seconds(1799)), "trim"));
  EXPECT_FALSE(has(passAfter(seconds(1)), "trim"));
  EXPECT_TRUE(has(passAfter(seconds(1)), "trim"));
  EXPECT_FALSE(has(passAfter(seconds(1800)), "trim"));
  EXPECT_TRUE(has(passAfter(seconds(1)), "trim"));
}

TEST_F(CoordinatorLoopTest, RefreshIntervalFollowsThePushChannel) {
  struct Case {
    bool socketIO;
    int interval;
  };
  for (const Case c : {Case{false, 60}, Case{true, 3600}}) {
    steps.socketIO = c.socketIO;
    clock->advance(seconds(4000));
    loop.pass();
    steps.takeCalls();
    EXPECT_FALSE(has(passAfter(seconds(c.interval)), "refresh")) << c.interval;
    EXPECT_TRUE(has(passAfter(seconds(1)), "refresh")) << c.interval;
  }
}

TEST_F(CoordinatorLoopTest, SwitchingThePushChannelDownShortensTheWait) {
  steps.socketIO = true;
  passAfter(seconds(0));
  steps.queueEmpty = false;
  EXPECT_EQ(passAfter(seconds(100)), (Calls{"renames"}));
  steps.socketIO = false;
  EXPECT_EQ(passAfter(seconds(1)), (Calls{"renames", "refresh", "cycle"}));
}

TEST_F(CoordinatorLoopTest, RefreshRequestIsServedOnceAtTheNextPass) {
  steps.socketIO = true;
  passAfter(seconds(0));
  steps.queueEmpty = false;
  steps.regetServer = true;
  EXPECT_EQ(passAfter(seconds(3)), (Calls{"renames", "refresh", "cycle"}));
  EXPECT_EQ(passAfter(seconds(3)), (Calls{"renames"}));
}

TEST_F(CoordinatorLoopTest, RenameRetryStampsOnlyWhenAStartedManagerWasMet) {
  passAfter(seconds(0));
  EXPECT_EQ(passAfter(seconds(1)), (Calls{"renames"}));
  steps.startedManager = true;
  EXPECT_EQ(passAfter(seconds(1)), (Calls{"renames"}));
  EXPECT_EQ(passAfter(seconds(2)), (Calls{}));
  EXPECT_EQ(passAfter(seconds(1)), (Calls{"renames"}));
}

TEST_F(CoordinatorLoopTest, IdleCycleSixtySecondsAfterTheQueueDrained) {
  steps.socketIO = true;
  passAfter(seconds(0));
  steps.queueEmpty = false;
  EXPECT_EQ(passAfter(seconds(100)), (Calls{"renames"}));
  steps.queueEmpty = true;  // the cycle's passes finished now
  EXPECT_EQ(passAfter(seconds(1)), (Calls{"renames"}));
  EXPECT_EQ(passAfter(seconds(60)), (Calls{"renames"}));
  EXPECT_EQ(passAfter(seconds(1)), (Calls{"renames", "cycle"}));
}

TEST_F(CoordinatorLoopTest, CompareRequestStartsACycleWhilePassesAreQueued) {
  steps.socketIO = true;
  passAfter(seconds(0));
  steps.queueEmpty = false;
  steps.compareNow = true;
  EXPECT_EQ(passAfter(seconds(1)), (Calls{"renames", "cycle"}));
  EXPECT_EQ(passAfter(seconds(1)), (Calls{"renames"}));
}

TEST_F(CoordinatorLoopTest, BackupsFollowTheCatalogueWallClockStamp) {
  steps.backupTime = static_cast<double>(platform::nowSeconds()) - 100;
  steps.queueEmpty = false;
  steps.socketIO = true;
  EXPECT_EQ(passAfter(seconds(0)), (Calls{"renames", "refresh", "cycle"}));
  EXPECT_EQ(passAfter(seconds(1700)), (Calls{"renames"}));
  EXPECT_EQ(passAfter(seconds(1)), (Calls{"renames", "backup"}));
}

TEST_F(CoordinatorLoopTest, FailingStepSkipsTheSleepAndSignOutEndsTheLoop) {
  steps.throwInRefresh = true;
  EXPECT_EQ(loop.pass(), CoordinatorLoop::PassEnd::kAgain);
  steps.throwInRefresh = false;
  steps.refreshResult = -1;
  EXPECT_EQ(loop.pass(), CoordinatorLoop::PassEnd::kStop);
}

TEST(CoordinatorLoopBeginTest, SignOutBeforeTheFirstPassEndsAtOnce) {
  RecordingSteps steps;
  steps.out = true;
  CoordinatorLoop loop(steps);
  EXPECT_FALSE(loop.begin());
  EXPECT_EQ(steps.calls, (std::vector<std::string>{"prepare"}));
}

}  // namespace
}  // namespace nb
