#include "sync/operations/AddScan.h"

#include <memory>
#include <mutex>

#include "platform/Log.h"

namespace nb {
namespace {

std::mutex starterMutex;
std::shared_ptr<const AddScanStarter> starter;  // guarded by starterMutex

}  // namespace

void setAddScanStarter(AddScanStarter next) {
  std::lock_guard lock(starterMutex);
  starter = next ? std::make_shared<const AddScanStarter>(std::move(next)) : nullptr;
}

bool startAddScan(int64_t mountid, const std::string& webpath, const std::string& fullpath) {
  std::shared_ptr<const AddScanStarter> current;
  {
    std::lock_guard lock(starterMutex);
    current = starter;
  }
  if (!current) {
    NBLOG_ERROR("library {}: no folder add job is registered; {} not queued", mountid, webpath);
    return false;
  }
  return (*current)(mountid, webpath, fullpath);
}

}  // namespace nb
