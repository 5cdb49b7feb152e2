#include "shell/tasks/SendSyncTask.h"

#include <exception>

#include "platform/Log.h"
#include "sync/centre/SyncCenter.h"

namespace nb {

void SendSyncTask::main() {
  try {
    if (!SyncCenter::shareSyncCenter().zipsyncdb(strPath_)) {
      NBLOG_WARN("the store bundle could not be zipped in {}", strPath_);
    }
  } catch (const std::exception& e) {
    NBLOG_ERROR("store bundle failed: {}", e.what());
  }
}

}  // namespace nb
