#pragma once
// A sleep on the current clock that another thread can cut short. A wake
// that comes while nobody sleeps is kept for the next sleep, so a waker
// never loses its signal to the gap between the sleeper's last look and
// its sleep.
//
//   WakeableSleep pass;
//   while (working()) pass.sleepFor(100ms);   // polls, or reacts at once
//   ...                                        // on another thread:
//   pass.wake();

#include <chrono>
#include <mutex>
#include <stop_token>

namespace nb::platform {

class WakeableSleep {
 public:
  WakeableSleep() = default;
  WakeableSleep(const WakeableSleep&) = delete;
  WakeableSleep& operator=(const WakeableSleep&) = delete;

  // Sleeps `duration`, less when woken (now or since the last sleep) or
  // when `stop` is requested. False only for the stop. One sleeper at a
  // time.
  bool sleepFor(std::chrono::nanoseconds duration, std::stop_token stop = {});
  // Ends the current sleep, or the next one at once. Any thread.
  void wake();

 private:
  std::mutex mutex_;
  bool pending_ = false;                // guarded by mutex_
  std::stop_source* sleeping_ = nullptr;  // guarded by mutex_; the sleeper's own
};

}  // namespace nb::platform
