#include <atomic>
#include <chrono>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "platform/MainThread.h"
#include "platform/StoppableThread.h"
#include "support/ManualClock.h"
#include "support/PumpMainThread.h"

namespace nb::platform {
namespace {

using namespace std::chrono_literals;
using test::ManualClock;
using test::ScopedClockOverride;

TEST(StoppableThreadTest, StopWakesALongSleepOnTheRealClock) {
  std::atomic<bool> sleeping = false;
  bool sleepAnswer = true;
  bool sawStop = false;
  {
    StoppableThread loop("sleeper", [&](StoppableThread& self) {
      sleeping = true;
      sleepAnswer = self.sleepFor(24h);
      sawStop = self.stopRequested();
    });
    while (!sleeping) std::this_thread::yield();
  }  // the destructor requests the stop and joins: a sleep that ignored it would hang here
  EXPECT_FALSE(sleepAnswer);
  EXPECT_TRUE(sawStop);
}

TEST(StoppableThreadTest, LoopPassesFollowTheManualClock) {
  auto clock = std::make_shared<ManualClock>();
  ScopedClockOverride scope(clock);
  std::atomic<int> passes = 0;
  StoppableThread loop("ticker", [&](StoppableThread& self) {
    while (!self.stopRequested()) {
      ++passes;
      if (!self.sleepFor(1s)) break;
    }
  });
  for (int expected = 1; expected <= 3; ++expected) {
    ASSERT_TRUE(clock->waitForSleepers(1));
    EXPECT_EQ(passes, expected);
    clock->advance(1s);
    // Once the loop sleeps again, it made exactly one more pass.
    while (passes == expected) std::this_thread::yield();
  }
  ASSERT_TRUE(clock->waitForSleepers(1));
  loop.requestStop();
  loop.join();
  EXPECT_EQ(passes, 4);
}

TEST(StoppableThreadTest, ExceptionInTheBodyEndsOnlyThatThread) {
  StoppableThread loop("thrower", [](StoppableThread&) { throw std::runtime_error("bad pass"); });
  loop.join();
  EXPECT_FALSE(loop.stopRequested());
}

TEST(StoppableThreadTest, StopTokenReleasesABodyBlockedOnTheMainThread) {
  ASSERT_TRUE(MainThread::attach());
  std::atomic<bool> waiting = false;
  bool ran = true;
  {
    StoppableThread loop("poster", [&](StoppableThread& self) {
      waiting = true;
      ran = MainThread::postAndWait([] {}, self.stopToken());
    });
    while (!waiting) std::this_thread::yield();
  }  // joined on the main thread, which never pumps: only the token can free the body
  EXPECT_FALSE(ran);
  test::pumpMainThread();
}

}  // namespace
}  // namespace nb::platform
