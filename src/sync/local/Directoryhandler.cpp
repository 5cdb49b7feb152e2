#include "sync/local/Directoryhandler.h"

#include <algorithm>

namespace nb {

Directoryhandler::Directoryhandler(std::string srcPath) : srcPath_(std::move(srcPath)) {}

void Directoryhandler::AddManager(std::shared_ptr<SyncManager> manager) {
  std::lock_guard lock(mutex_);
  if (std::find(managers_.begin(), managers_.end(), manager) == managers_.end()) {
    managers_.push_back(std::move(manager));
  }
}

void Directoryhandler::DelManager(const std::shared_ptr<SyncManager>& manager) {
  std::lock_guard lock(mutex_);
  std::erase(managers_, manager);
}

std::vector<std::shared_ptr<SyncManager>> Directoryhandler::_managerlist() const {
  std::lock_guard lock(mutex_);
  return managers_;
}

void Directoryhandler::stopMonitoring() {
  watching_ = false;
  std::vector<std::shared_ptr<SyncManager>> released;
  {
    std::lock_guard lock(mutex_);
    released.swap(managers_);
  }
  // The managers are let go outside the lock: the last holder destroys one.
}

}  // namespace nb
