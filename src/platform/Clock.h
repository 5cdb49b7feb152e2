#pragma once
// Wall and monotonic time, and sleeping, behind one replaceable seam so that
// every interval of the engine can be tested without waiting: code asks
// Clock::current() and tests install a manual clock they advance by hand
// (tests/support/ManualClock.h).

#include <chrono>
#include <cstdint>
#include <memory>
#include <stop_token>

namespace nb::platform {

class Clock {
 public:
  using Monotonic = std::chrono::steady_clock::time_point;

  virtual ~Clock() = default;

  // Whole seconds since 1970-01-01 UTC.
  virtual uint64_t wallSeconds() const = 0;

  // Monotonic time: only differences mean anything.
  virtual Monotonic monotonic() const = 0;

  // Blocks the caller for `duration` of this clock's monotonic time, or
  // until `stop` is requested, whichever comes first (at once when it
  // already is). Answers true when the whole time passed, false when stopped.
  // Safe from any thread.
  virtual bool sleepFor(std::chrono::nanoseconds duration, std::stop_token stop = {}) = 0;

  // The process-wide clock, never null; the system clock unless replaced.
  // Keep the returned pointer for the length of a sleep so that a
  // replacement meanwhile does not pull the clock from under it.
  static std::shared_ptr<Clock> current();

  // Replaces the process-wide clock (null: the system clock again) and
  // answers the one it replaced. Safe from any thread; meant for tests.
  static std::shared_ptr<Clock> setCurrent(std::shared_ptr<Clock> clock);

  // The real clock: system_clock and steady_clock.
  static std::shared_ptr<Clock> system();
};

// Shorthands for the current clock.
inline uint64_t nowSeconds() { return Clock::current()->wallSeconds(); }
inline Clock::Monotonic monotonicNow() { return Clock::current()->monotonic(); }
inline bool sleepFor(std::chrono::nanoseconds duration, std::stop_token stop = {}) {
  return Clock::current()->sleepFor(duration, std::move(stop));
}

}  // namespace nb::platform
