#pragma once
// One item of a monitored copy of local files into a linked folder, and the
// copy list that the copier, its monitor and its progress window share.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace nb {

struct CopyItem {
  std::string webpath;  // the item's path in the library
  std::string oldpath;  // local source
  std::string newpath;  // local destination inside the linked folder
  bool bDir = false;
  std::uint64_t cpysize = 0;  // bytes found at the destination by the last measurement
  std::uint64_t sumsize = 0;  // bytes to copy; 0 for a folder

  // A file when its destination has all its bytes; a folder once its
  // destination exists as a folder.
  bool isfinished() const;
};

// One copy list with its own cancel: every add copies under its own list, so
// stopping one copy never stops another one running beside it.
//
// Thread-safety: the items are constant after construction; the flags are
// atomic and may be set and read from any thread.
class CopyJob {
 public:
  explicit CopyJob(std::vector<CopyItem> items) : items_(std::move(items)) {}
  CopyJob(const CopyJob&) = delete;
  CopyJob& operator=(const CopyJob&) = delete;

  const std::vector<CopyItem>& items() const { return items_; }

  // The user stopped the copy: the copier skips every item not yet copied.
  void cancel() { cancelled_.store(true); }
  bool isCancelled() const { return cancelled_.load(); }

  // The copier went through the whole list. Items that failed never reach
  // their size, so this, not the measurements, is what ends the copy.
  void markDone() { done_.store(true); }
  bool isDone() const { return done_.load(); }

 private:
  const std::vector<CopyItem> items_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> done_{false};
};

}  // namespace nb
