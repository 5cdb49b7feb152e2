#include <atomic>
#include <stdexcept>
#include <stop_token>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/MainThread.h"
#include "support/PumpMainThread.h"

namespace nb::platform {
namespace {

using test::pumpMainThread;
using test::pumpMainThreadUntil;

class MainThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(MainThread::attach()); }
  void TearDown() override { pumpMainThread(); }
};

TEST_F(MainThreadTest, OnlyTheAttachedThreadIsMain) {
  EXPECT_TRUE(MainThread::isMainThread());
  bool otherIsMain = true;
  bool otherAttached = true;
  std::thread([&] {
    otherIsMain = MainThread::isMainThread();
    otherAttached = MainThread::attach();
  }).join();
  EXPECT_FALSE(otherIsMain);
  EXPECT_FALSE(otherAttached);
}

TEST_F(MainThreadTest, PostedJobsRunLaterOnTheMainThreadInPostingOrder) {
  std::vector<int> seen;
  std::atomic<bool> allPosted = false;
  std::thread poster([&] {
    for (int i = 0; i < 500; ++i) {
      MainThread::post([&seen, i] {
        EXPECT_TRUE(MainThread::isMainThread());
        seen.push_back(i);
      });
    }
    allPosted = true;
  });
  // A job posted from a job goes behind everything already queued.
  MainThread::post([&] { MainThread::post([&] { seen.push_back(1000); }); });
  EXPECT_TRUE(seen.empty()) << "post never runs inline";
  poster.join();
  pumpMainThread();

  ASSERT_EQ(seen.size(), 501u);
  EXPECT_EQ(seen.back(), 1000);
  for (int i = 0; i < 500; ++i) EXPECT_EQ(seen[static_cast<size_t>(i)], i);
}

TEST_F(MainThreadTest, PostAndWaitRunsInlineOnTheMainThread) {
  int value = 0;
  EXPECT_TRUE(MainThread::postAndWait([&] { value = 7; }));
  EXPECT_EQ(value, 7);
}

TEST_F(MainThreadTest, PostAndWaitFromAnotherThreadBlocksUntilTheJobRan) {
  std::atomic<bool> returned = false;
  bool jobSawCallerBlocked = false;
  bool ranOnMain = false;
  bool answer = false;
  std::thread caller([&] {
    answer = MainThread::postAndWait([&] {
      ranOnMain = MainThread::isMainThread();
      jobSawCallerBlocked = !returned;
    });
    returned = true;
  });
  ASSERT_TRUE(pumpMainThreadUntil([&] { return returned.load(); }));
  caller.join();
  EXPECT_TRUE(answer);
  EXPECT_TRUE(ranOnMain);
  EXPECT_TRUE(jobSawCallerBlocked);
}

TEST_F(MainThreadTest, StoppedPostAndWaitReturnsAndDropsTheJob) {
  std::stop_source stop;
  bool answer = true;
  bool ran = false;
  std::thread caller([&] { answer = MainThread::postAndWait([&] { ran = true; }, stop.get_token()); });
  stop.request_stop();  // the main thread is not pumping: the job cannot have started
  caller.join();
  pumpMainThread();
  EXPECT_FALSE(answer);
  EXPECT_FALSE(ran);
}

TEST_F(MainThreadTest, ThrowingJobsAreDroppedAndTheLoopGoesOn) {
  std::vector<int> seen;
  MainThread::post([] { throw std::runtime_error("boom"); });
  MainThread::post([&] { seen.push_back(1); });
  MainThread::post([] { throw 42; });
  MainThread::post([&] { seen.push_back(2); });
  EXPECT_TRUE(MainThread::postAndWait([] { throw std::logic_error("inline"); }));
  pumpMainThread();
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST_F(MainThreadTest, RunEndsOnQuitFromAnotherThreadAfterEarlierJobs) {
  std::vector<int> seen;
  MainThread::post([] { throw std::runtime_error("does not end the loop"); });
  std::thread other([&] {
    MainThread::post([&] { seen.push_back(1); });
    MainThread::quit();
    MainThread::post([&] { seen.push_back(2); });
  });
  EXPECT_TRUE(MainThread::run());
  other.join();
  EXPECT_EQ(seen, (std::vector<int>{1}));
  pumpMainThread();
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace nb::platform
