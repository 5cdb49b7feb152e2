#include "bridge/open/KeyedLocks.h"

namespace nb::bridge {

KeyedLocks::Hold::Hold(KeyedLocks& owner, std::string key) : owner_(owner), key_(std::move(key)) {
  std::unique_lock lock(owner_.mutex_);
  Entry& entry = owner_.entries_[key_];
  ++entry.users;
  owner_.released_.wait(lock, [&] { return !entry.taken; });
  entry.taken = true;
}

KeyedLocks::Hold::~Hold() {
  {
    std::lock_guard lock(owner_.mutex_);
    auto it = owner_.entries_.find(key_);
    it->second.taken = false;
    if (--it->second.users == 0) owner_.entries_.erase(it);
  }
  owner_.released_.notify_all();
}

bool KeyedLocks::held(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(key);
  return it != entries_.end() && it->second.taken;
}

}  // namespace nb::bridge
