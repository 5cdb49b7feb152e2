#include <atomic>
#include <chrono>
#include <stop_token>
#include <thread>

#include <gtest/gtest.h>

#include "platform/WakeableSleep.h"

namespace nb::platform {
namespace {

using namespace std::chrono_literals;

// Each case sleeps a day on the real clock: only the wake or the stop can
// end it, and a lost one hangs the test instead of passing slowly.
TEST(WakeableSleepTest, AWakeDuringTheSleepEndsIt) {
  WakeableSleep sleep;
  std::atomic<bool> done = false;
  bool answer = false;
  std::thread sleeper([&] {
    answer = sleep.sleepFor(24h);
    done = true;
  });
  // Woken again and again: the first wake may come before the sleep began,
  // and is then kept for it.
  while (!done) {
    sleep.wake();
    std::this_thread::sleep_for(1ms);
  }
  sleeper.join();
  EXPECT_TRUE(answer);
}

TEST(WakeableSleepTest, AWakeWithNobodySleepingEndsTheNextSleepOnlyOnce) {
  WakeableSleep sleep;
  sleep.wake();
  sleep.wake();
  EXPECT_TRUE(sleep.sleepFor(24h));
  const auto began = std::chrono::steady_clock::now();
  EXPECT_TRUE(sleep.sleepFor(30ms));  // the kept wake was spent: a full sleep
  EXPECT_GE(std::chrono::steady_clock::now() - began, 30ms);
}

TEST(WakeableSleepTest, AStopEndsTheSleepAndAnswersFalse) {
  WakeableSleep sleep;
  std::stop_source stop;
  bool answer = true;
  std::thread sleeper([&] { answer = sleep.sleepFor(24h, stop.get_token()); });
  stop.request_stop();
  sleeper.join();
  EXPECT_FALSE(answer);
  std::stop_source stopped;
  stopped.request_stop();
  sleep.wake();
  EXPECT_FALSE(sleep.sleepFor(24h, stopped.get_token()));
}

}  // namespace
}  // namespace nb::platform
