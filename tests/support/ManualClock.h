#pragma once
// A clock for tests that moves only when told to, and RAII that installs a
// clock as the process-wide one for a scope.

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

#include "platform/Clock.h"

namespace nb::test {

// Starts at the given wall time and an arbitrary monotonic origin. Sleepers
// wake when advance() carries the time past their deadline or their stop
// token fires. Safe from any thread.
class ManualClock final : public platform::Clock {
 public:
  explicit ManualClock(uint64_t wallSeconds = 1'700'000'000);

  uint64_t wallSeconds() const override;
  Monotonic monotonic() const override;
  bool sleepFor(std::chrono::nanoseconds duration, std::stop_token stop = {}) override;

  // Moves wall and monotonic time forward together (negative: ignored).
  void advance(std::chrono::nanoseconds by);
  // Sets the wall time alone, as a user changing the system clock would.
  void setWallSeconds(uint64_t seconds);

  // Threads now blocked in sleepFor.
  size_t sleepers() const;
  // Blocks until at least `count` threads sleep on this clock, so a test
  // advances only once the thread under test waits. `limit` is real time and
  // only a safety net; answers whether the count was reached.
  bool waitForSleepers(size_t count,
                       std::chrono::milliseconds limit = std::chrono::seconds(30)) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable_any changed_;
  std::chrono::nanoseconds wall_;      // guarded by mutex_, since 1970
  std::chrono::nanoseconds elapsed_{}; // guarded by mutex_, since creation
  size_t sleepers_ = 0;                // guarded by mutex_
};

// Installs `clock` as Clock::current() and puts the previous one back on
// destruction.
class ScopedClockOverride {
 public:
  explicit ScopedClockOverride(std::shared_ptr<platform::Clock> clock)
      : previous_(platform::Clock::setCurrent(std::move(clock))) {}
  ~ScopedClockOverride() { platform::Clock::setCurrent(previous_); }
  ScopedClockOverride(const ScopedClockOverride&) = delete;
  ScopedClockOverride& operator=(const ScopedClockOverride&) = delete;

 private:
  std::shared_ptr<platform::Clock> previous_;
};

}  // namespace nb::test
