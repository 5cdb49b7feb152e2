#pragma once
// The files the engine has just written on the local disk, by web path, so
// that the file event of its own write is not taken for a user's change.
// An entry lives at least kKeepSeconds and until the first commit after.
//
// Not thread-safe: every access holds the manager's controllock.

#include <cstdint>
#include <map>
#include <string>

#include "sync/local/RecentEvents.h"

namespace nb {

class CopyList {
 public:
  static constexpr uint64_t kKeepSeconds = 31;

  // Records a write (addtime = now), replacing an earlier entry.
  void set_add_filelistinfo(const std::string& webpath, uint64_t filesize, uint64_t lasttime);
  // True when the item at `webpath` with this size (0 for a folder) and
  // modification time is the engine's own write.
  bool isOwnWrite(const std::string& webpath, uint64_t filesize, uint64_t lasttime) const;
  // The item at `webpath` is no write of the engine's any more, whatever
  // its size and time.
  void forget(const std::string& webpath);
  // The engine reset a file's times: its entry, if any, follows.
  void updateLastTime(const std::string& webpath, uint64_t lasttime);
  // At every commit: drops the entries kKeepSeconds old or older.
  void check_and_clear_copylist();

  size_t size() const { return entries_.size(); }

 private:
  std::map<std::string, copy_file_stx> entries_;
};

}  // namespace nb
