#include "platform/SerialQueue.h"

#include <exception>

#include "platform/Log.h"

namespace nb::platform {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {}

bool SerialQueue::isCurrent() const {
  std::lock_guard lock(mutex_);
  return owner_ == std::this_thread::get_id();
}

uint64_t SerialQueue::pending() const {
  std::lock_guard lock(mutex_);
  return nextTicket_ - serving_;
}

bool SerialQueue::sync(const std::function<void()>& job) {
  const auto self = std::this_thread::get_id();
  {
    std::unique_lock lock(mutex_);
    if (owner_ == self) {
      NBLOG_ERROR("queue {}: a job submitted a job to its own queue; refused", label_);
      return false;
    }
    const uint64_t ticket = nextTicket_++;
    turn_.wait(lock, [&] { return serving_ == ticket; });
    owner_ = self;
  }
  try {
    job();
  } catch (const std::exception& e) {
    NBLOG_ERROR("queue {}: job failed: {}", label_, e.what());
  } catch (...) {
    NBLOG_ERROR("queue {}: job failed with an unknown exception", label_);
  }
  {
    std::lock_guard lock(mutex_);
    owner_ = {};
    ++serving_;
  }
  turn_.notify_all();
  return true;
}

}  // namespace nb::platform
