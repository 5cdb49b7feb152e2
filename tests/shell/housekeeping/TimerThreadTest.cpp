// The housekeeping loop on a manual clock: transfer-state events, the
// idle-sleep block, the transfer-cache purge and the hot-file refresh.

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <thread>

#include "shell/housekeeping/TimerThread.h"
#include "support/ManualClock.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

using namespace std::chrono_literals;

class FakePower final : public platform::PowerManagement {
 public:
  class Block final : public platform::IdleSleepBlock {
   public:
    explicit Block(std::atomic<int>& held) : held_(held) { ++held_; }
    ~Block() override { --held_; }

   private:
    std::atomic<int>& held_;
  };

  bool onMainsPower() override { return mains; }
  std::unique_ptr<platform::IdleSleepBlock> blockIdleSleep(const std::string&,
                                                           const std::string& why) override {
    lastWhy = why;
    return std::make_unique<Block>(held);
  }

  std::atomic<bool> mains{true};
  std::atomic<int> held{0};
  std::string lastWhy;  // written by the loop before `held` changes
};

class TimerThreadTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    cache_ = root() / "user_ok" / "transcache";  // "_ok" in the folder's own path
    std::filesystem::create_directories(cache_);
  }
  void TearDown() override {
    timer_.reset();
    TempHome::TearDown();
  }

  void start() {
    TimerThread::Sources sources;
    sources.GetTransCount = [this] { return running_.load(); };
    sources.nDownloadCount = [this] { return downloads_.load(); };
    sources.nUploadCount = [] { return std::int64_t{0}; };
    sources.nDownloadRealCount = [this] { return downloads_ + prefetches_; };
    sources.transferCache = [this] { return cache_.string(); };
    sources.timehotfile = [this] {
      ++hotFileRefreshes_;
      return true;
    };
    sources.updateUI = [] {};
    sources.sendToMain = [this](const PageEvent& event) {
      std::lock_guard lock(mutex_);
      events_.push_back(event.detail());
    };
    sources.power = power_;
    timer_ = std::make_unique<TimerThread>(app_, std::move(sources));
    waitForPass(0);
  }
  // Lets one more pass run: advances past the pass interval and waits until
  // the loop has finished the pass and sleeps again.
  void pass(std::chrono::milliseconds by = 1100ms) {
    const std::uint64_t before = timer_->passes();
    clock_->advance(by);
    waitForPass(before);
  }
  void waitForPass(std::uint64_t before) {
    const auto limit = std::chrono::steady_clock::now() + 30s;
    while (timer_->passes() <= before && std::chrono::steady_clock::now() < limit) {
      std::this_thread::sleep_for(1ms);
    }
    ASSERT_GT(timer_->passes(), before);
    ASSERT_TRUE(clock_->waitForSleepers(1));
  }
  std::vector<std::string> events() {
    std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
  }
  void put(const std::string& name) { std::ofstream(cache_ / name) << "x"; }
  bool has(const std::string& name) const { return std::filesystem::exists(cache_ / name); }

  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  ScopedClockOverride clockOverride_{clock_};
  // Shared: the hourly update check hands itself on.
  std::shared_ptr<AppDelegate> appOwner_ =
      std::make_shared<AppDelegate>(AppDelegate::Options{.resourceFolders = {"/nonexistent"}});
  AppDelegate& app_ = *appOwner_;
  std::shared_ptr<FakePower> power_ = std::make_shared<FakePower>();
  std::filesystem::path cache_;
  std::atomic<std::int64_t> running_{0};
  std::atomic<std::int64_t> downloads_{0};
  std::atomic<std::int64_t> prefetches_{0};
  std::atomic<int> hotFileRefreshes_{0};
  std::mutex mutex_;
  std::vector<std::string> events_;
  std::unique_ptr<TimerThread> timer_;
};

TEST_F(TimerThreadTest, TransferStateOnlyOnEdgesSeenByAPass) {
  app_.setBLoginFinish(true);
  start();
  pass();
  running_ = 2;  // starts and ends between two passes
  running_ = 0;
  pass();
  EXPECT_TRUE(events().empty());

  running_ = 2;
  pass();
  EXPECT_EQ(app_.nTransCount(), 2);
  EXPECT_EQ(events(), (std::vector<std::string>{R"({"state":1})"}));
  running_ = 1;
  pass();
  EXPECT_TRUE(events().empty());
  running_ = 0;
  pass();
  EXPECT_EQ(events(), (std::vector<std::string>{R"({"state":0})"}));
}

TEST_F(TimerThreadTest, NothingIsSampledBeforeTheSessionStarts) {
  start();
  running_ = 3;
  downloads_ = 3;
  pass();
  pass();
  EXPECT_EQ(app_.nTransCount(), 0);
  EXPECT_EQ(app_.nAllTransCount(), 0);
  EXPECT_TRUE(events().empty());
}

TEST_F(TimerThreadTest, IdleSleepIsBlockedWhilePendingOnMainsPower) {
  app_.setBLoginFinish(true);
  power_->mains = false;
  start();
  downloads_ = 1;
  pass();
  EXPECT_EQ(app_.nAllTransCount(), 1);
  EXPECT_EQ(power_->held, 0);  // on battery
  power_->mains = true;
  pass();
  EXPECT_EQ(power_->held, 1);
  EXPECT_TRUE(timer_->dormancyDisabled());
  EXPECT_EQ(power_->lastWhy, "Disabled Dormancy");
  pass();
  EXPECT_EQ(power_->held, 1);  // held once, not again each pass
  downloads_ = 0;
  pass();
  EXPECT_EQ(power_->held, 0);
  EXPECT_FALSE(timer_->dormancyDisabled());
}

TEST_F(TimerThreadTest, TheBlockGoesWithTheLoop) {
  app_.setBLoginFinish(true);
  downloads_ = 1;
  start();
  pass();
  EXPECT_EQ(power_->held, 1);
  timer_.reset();
  EXPECT_EQ(power_->held, 0);
}

TEST_F(TimerThreadTest, PurgeWaitsForARunningPrefetchAndKeepsFinishedDownloads) {
  const std::string prefetch = "down_" + std::string(40, 'a');
  put("a.tmp");
  put("down_x_ok");
  put(prefetch);
  app_.setBLoginFinish(true);
  downloads_ = 1;
  prefetches_ = 1;
  start();
  pass();  // the total is sampled
  pass();
  downloads_ = 0;
  pass();  // the total drops to 0
  pass();  // the purge is due, but the prefetch still writes
  EXPECT_TRUE(has(prefetch));
  EXPECT_TRUE(has("a.tmp"));
  prefetches_ = 0;
  pass();
  EXPECT_FALSE(has("a.tmp"));
  EXPECT_FALSE(has(prefetch));
  EXPECT_TRUE(has("down_x_ok"));
}

TEST_F(TimerThreadTest, PurgeOfAFolderIsBoundedToItsEntries) {
  put("a.tmp");
  put("down_y_ok.tmp");
  TimerThread::timeremovefile(cache_.string());
  EXPECT_FALSE(has("a.tmp"));
  EXPECT_TRUE(has("down_y_ok.tmp"));
  TimerThread::timeremovefile((root() / "missing").string());  // nothing to do
  TimerThread::timeremovefile("");
}

TEST_F(TimerThreadTest, HotFilesWhenTheSyncCentreAsks) {
  start();
  pass();
  EXPECT_EQ(hotFileRefreshes_, 0);
  app_.setBResetHotFile(true);
  pass();
  EXPECT_EQ(hotFileRefreshes_, 1);
  EXPECT_FALSE(app_.bResetHotFile());
  pass();
  EXPECT_EQ(hotFileRefreshes_, 1);
}

}  // namespace
}  // namespace nb::test
