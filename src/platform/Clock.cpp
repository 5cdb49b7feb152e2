#include "platform/Clock.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace nb::platform {
namespace {

class SystemClock final : public Clock {
 public:
  uint64_t wallSeconds() const override {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
    return seconds < 0 ? 0 : static_cast<uint64_t>(seconds);
  }

  Monotonic monotonic() const override { return std::chrono::steady_clock::now(); }

  bool sleepFor(std::chrono::nanoseconds duration, std::stop_token stop) override {
    if (stop.stop_requested()) return false;
    if (duration <= std::chrono::nanoseconds::zero()) return true;
    // The stop token's callback notifies this condition variable, so a stop
    // ends the sleep at once.
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    const auto until = std::chrono::steady_clock::now() + duration;
    wake.wait_until(lock, stop, until, [] { return false; });
    return !stop.stop_requested();
  }
};

std::atomic<std::shared_ptr<Clock>>& installed() {
  static std::atomic<std::shared_ptr<Clock>> clock{Clock::system()};
  return clock;
}

}  // namespace

std::shared_ptr<Clock> Clock::system() {
  static const std::shared_ptr<Clock> clock = std::make_shared<SystemClock>();
  return clock;
}

std::shared_ptr<Clock> Clock::current() { return installed().load(); }

std::shared_ptr<Clock> Clock::setCurrent(std::shared_ptr<Clock> clock) {
  return installed().exchange(clock ? std::move(clock) : system());
}

}  // namespace nb::platform
