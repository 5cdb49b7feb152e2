#include "platform/WakeableSleep.h"

#include "platform/Clock.h"

namespace nb::platform {

bool WakeableSleep::sleepFor(std::chrono::nanoseconds duration, std::stop_token stop) {
  std::stop_source cut;
  {
    std::lock_guard lock(mutex_);
    if (pending_) {
      pending_ = false;
      return !stop.stop_requested();
    }
    sleeping_ = &cut;
  }
  {
    std::stop_callback onStop(stop, [&cut] { cut.request_stop(); });
    Clock::current()->sleepFor(duration, cut.get_token());
  }
  std::lock_guard lock(mutex_);
  sleeping_ = nullptr;
  pending_ = false;
  return !stop.stop_requested();
}

void WakeableSleep::wake() {
  std::lock_guard lock(mutex_);
  if (sleeping_) {
    sleeping_->request_stop();
  } else {
    pending_ = true;
  }
}

}  // namespace nb::platform
