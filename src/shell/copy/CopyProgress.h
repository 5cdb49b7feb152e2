#pragma once
// The copy monitor: measures the files of a copy at their destinations and
// reports a whole percentage, pass after pass, until it is stopped (the
// progress window stops it when it closes). It reads the file system only.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/Operation.h"
#include "shell/copy/CopyAll.h"
#include "shell/copy/CopyItem.h"

namespace nb {

class CopyProgress final : public platform::Operation {
 public:
  // Back-to-back passes would keep a core busy for a number nobody reads
  // faster than this.
  static constexpr std::chrono::milliseconds kPassInterval{200};

  using Callback = std::function<void(std::uint64_t percent)>;

  explicit CopyProgress(std::shared_ptr<const CopyJob> job);

  // Runs on the monitor's thread after each pass, unless stopped by then.
  // Set before the monitor is queued.
  void setProgressCallBack(Callback callback) { progressCallBack_ = std::move(callback); }

  // Every item reached its destination, or the copier went through the list.
  // Any thread.
  bool isfinished() const;

  // One pass: measures, counts what finished, and reports unless stopped.
  // The monitor's thread (tests call it directly).
  void pass();

  // Cancels the monitor and wakes it from its wait between passes. Any
  // thread; never waits for the monitor.
  void stop();

 protected:
  void main() override;

 private:
  // What this pass found: bytes copied so far.
  std::uint64_t measure();

  const std::shared_ptr<const CopyJob> job_;
  Callback progressCallBack_;  // constant once queued

  mutable std::mutex mutex_;
  CopyAll all_;  // guarded by mutex_
  std::condition_variable wake_;
  bool stopped_ = false;  // guarded by mutex_
};

}  // namespace nb
