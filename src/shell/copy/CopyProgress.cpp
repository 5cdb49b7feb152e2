#include "shell/copy/CopyProgress.h"

#include <exception>

#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"

namespace nb {

CopyProgress::CopyProgress(std::shared_ptr<const CopyJob> job)
    : job_(std::move(job)), all_(job_->items()) {}

bool CopyProgress::isfinished() const {
  if (job_->isDone()) return true;
  std::lock_guard lock(mutex_);
  return all_.isfinished();
}

std::uint64_t CopyProgress::measure() {
  std::lock_guard lock(mutex_);
  std::uint64_t copied = all_.cpysize;
  for (std::size_t i = 0; i < all_.files.size();) {
    CopyItem& item = all_.files[i];
    // A destination not there yet counts nothing.
    item.cpysize = Util::isfile(item.newpath) ? Util::filesize(item.newpath) : 0;
    if (item.isfinished()) {
      ++all_.cpycount;
      all_.cpysize += item.cpysize;
      copied += item.cpysize;  // finished in this pass: its bytes are copied
      all_.files.erase(all_.files.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      copied += item.cpysize;
      ++i;
    }
  }
  for (std::size_t i = 0; i < all_.folders.size();) {
    if (all_.folders[i].isfinished()) {
      ++all_.cpycount;
      all_.folders.erase(all_.folders.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  return copied;
}

void CopyProgress::pass() {
  try {
    const std::uint64_t copied = measure();
    std::uint64_t percent = 0;
    {
      std::lock_guard lock(mutex_);
      percent = all_.progress(copied);
    }
    // A copier that went through its list ends the copy, failed items
    // included, or the window would wait for bytes that never come.
    if (job_->isDone()) percent = 100;
    if (!isCancelled() && progressCallBack_) progressCallBack_(percent);
  } catch (const std::exception& e) {
    NBLOG_ERROR("COPY MAIN [ exception : {}]", e.what());
  }
}

void CopyProgress::stop() {
  cancel();
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  wake_.notify_all();
}

void CopyProgress::main() {
  while (!isCancelled()) {
    pass();
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, kPassInterval, [this] { return stopped_; });
  }
}

}  // namespace nb
