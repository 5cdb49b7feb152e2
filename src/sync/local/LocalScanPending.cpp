// Placeholders for the local tree scan until it lands: each logs that it is
// missing.
#include "platform/Log.h"
#include "sync/centre/SyncManager.h"

namespace nb {

void SyncManager::scandel() { NBLOG_ERROR("SyncManager {}: scandel is not built", nMountID_); }
void SyncManager::mark_file_delete(const std::string&) {
  NBLOG_ERROR("SyncManager {}: mark_file_delete is not built", nMountID_);
}

}  // namespace nb
