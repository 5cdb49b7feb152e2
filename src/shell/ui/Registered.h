#pragma once
// One process-wide slot for an implementation that start-up registers (the
// user interface, the window registry): set and read from any thread; a
// read of an empty slot logs an error naming the caller, so that a missing
// registration shows.

#include <memory>
#include <mutex>

#include "platform/Log.h"

namespace nb::ui {

template <typename T>
class Registered {
 public:
  void set(std::shared_ptr<T> value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }
  std::shared_ptr<T> get(const char* caller, const char* what) const {
    std::shared_ptr<T> value;
    {
      std::lock_guard lock(mutex_);
      value = value_;
    }
    if (!value) NBLOG_ERROR("{}: no {} is registered", caller, what);
    return value;
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<T> value_;  // guarded by mutex_
};

}  // namespace nb::ui
