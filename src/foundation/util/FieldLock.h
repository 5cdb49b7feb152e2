#pragma once
// The lock of a record whose fields are read and written from any thread:
// reads copy the current value out, writes replace it whole, so a reader
// never sees half of a text that another thread is writing.

#include <mutex>
#include <utility>

namespace nb {

class FieldLock {
 public:
  template <typename T>
  T get(const T& field) const {
    std::lock_guard lock(mutex_);
    return field;
  }
  template <typename T>
  void set(T& field, T value) const {
    std::lock_guard lock(mutex_);
    field = std::move(value);
  }
  // For a step that reads or writes several fields at once.
  std::mutex& mutex() const { return mutex_; }

 private:
  mutable std::mutex mutex_;
};

}  // namespace nb
