#include <chrono>
#include <stop_token>
#include <thread>

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "support/ManualClock.h"

namespace nb::platform {
namespace {

using namespace std::chrono_literals;
using test::ManualClock;
using test::ScopedClockOverride;

TEST(ClockTest, SystemClockGivesWallSecondsAndSleepsStopAtOnce) {
  const auto clock = Clock::system();
  EXPECT_GT(clock->wallSeconds(), 1'600'000'000u);
  EXPECT_TRUE(clock->sleepFor(0s));

  std::stop_source stop;
  stop.request_stop();
  EXPECT_FALSE(clock->sleepFor(1h, stop.get_token())) << "a stopped token never sleeps";
}

TEST(ClockTest, OverrideReplacesTheCurrentClockForItsScope) {
  auto manual = std::make_shared<ManualClock>(1'000);
  {
    ScopedClockOverride scope(manual);
    EXPECT_EQ(Clock::current(), manual);
    EXPECT_EQ(nowSeconds(), 1'000u);
    const auto before = monotonicNow();
    manual->advance(90s);
    EXPECT_EQ(nowSeconds(), 1'090u);
    EXPECT_EQ(monotonicNow() - before, 90s);
    manual->setWallSeconds(50);  // wall time may go back; monotonic does not
    EXPECT_EQ(nowSeconds(), 50u);
    EXPECT_EQ(monotonicNow() - before, 90s);
  }
  EXPECT_EQ(Clock::current(), Clock::system());
}

TEST(ClockTest, ManualSleepEndsOnlyWhenTimeReachesTheDeadline) {
  auto manual = std::make_shared<ManualClock>();
  ScopedClockOverride scope(manual);
  bool slept = false;
  std::thread sleeper([&] { slept = sleepFor(30s); });
  ASSERT_TRUE(manual->waitForSleepers(1));
  manual->advance(29s);
  EXPECT_EQ(manual->sleepers(), 1u);
  manual->advance(1s);
  sleeper.join();
  EXPECT_TRUE(slept);
  EXPECT_EQ(manual->sleepers(), 0u);
}

TEST(ClockTest, ManualSleepWakesOnStop) {
  ManualClock manual;
  std::stop_source stop;
  bool slept = true;
  std::thread sleeper([&] { slept = manual.sleepFor(1h, stop.get_token()); });
  ASSERT_TRUE(manual.waitForSleepers(1));
  stop.request_stop();
  sleeper.join();
  EXPECT_FALSE(slept);
}

}  // namespace
}  // namespace nb::platform
