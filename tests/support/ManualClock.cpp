#include "support/ManualClock.h"

namespace nb::test {

ManualClock::ManualClock(uint64_t wallSeconds)
    : wall_(std::chrono::seconds(static_cast<int64_t>(wallSeconds))) {}

uint64_t ManualClock::wallSeconds() const {
  std::lock_guard lock(mutex_);
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(wall_).count());
}

ManualClock::Monotonic ManualClock::monotonic() const {
  std::lock_guard lock(mutex_);
  return Monotonic(std::chrono::duration_cast<Monotonic::duration>(elapsed_));
}

bool ManualClock::sleepFor(std::chrono::nanoseconds duration, std::stop_token stop) {
  if (stop.stop_requested()) return false;
  std::unique_lock lock(mutex_);
  const auto deadline = elapsed_ + duration;
  ++sleepers_;
  changed_.notify_all();
  const bool reached = changed_.wait(lock, stop, [&] { return elapsed_ >= deadline; });
  --sleepers_;
  changed_.notify_all();
  return reached;
}

void ManualClock::advance(std::chrono::nanoseconds by) {
  if (by < std::chrono::nanoseconds::zero()) return;
  {
    std::lock_guard lock(mutex_);
    elapsed_ += by;
    wall_ += by;
  }
  changed_.notify_all();
}

void ManualClock::setWallSeconds(uint64_t seconds) {
  std::lock_guard lock(mutex_);
  wall_ = std::chrono::seconds(static_cast<int64_t>(seconds));
}

size_t ManualClock::sleepers() const {
  std::lock_guard lock(mutex_);
  return sleepers_;
}

bool ManualClock::waitForSleepers(size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return sleepers_ >= count; });
}

}  // namespace nb::test
