#pragma once
// Mutual exclusion by name: holders of the same key run one after another,
// holders of different keys at once. An entry lives only while someone
// holds or waits for its key.
//
// Thread-safe.

#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace nb::bridge {

class KeyedLocks {
 public:
  class Hold {
   public:
    Hold(KeyedLocks& owner, std::string key);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    KeyedLocks& owner_;
    const std::string key_;
  };

  KeyedLocks() = default;
  KeyedLocks(const KeyedLocks&) = delete;
  KeyedLocks& operator=(const KeyedLocks&) = delete;

  // Whether anyone holds `key` now.
  bool held(const std::string& key) const;

 private:
  struct Entry {
    bool taken = false;
    std::size_t users = 0;  // holder and waiters
  };

  mutable std::mutex mutex_;
  std::condition_variable released_;
  std::map<std::string, Entry> entries_;  // guarded by mutex_
};

}  // namespace nb::bridge
