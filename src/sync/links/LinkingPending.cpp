// Placeholder for unlinking until it lands: it logs that it is missing.
#include "platform/Log.h"
#include "sync/centre/SyncManager.h"

namespace nb {

void SyncManager::remove_link(const std::string&) {
  NBLOG_ERROR("SyncManager {}: remove_link is not built", nMountID_);
}

}  // namespace nb
