// Placeholders for the rest of the permission checks until they land: each
// logs that it is missing and answers "allowed", which changes nothing on
// disk (no link is dropped, no file made read-only).
#include "platform/Log.h"
#include "sync/centre/SyncManager.h"

namespace nb {

int64_t SyncManager::checkFilePropertyForRead(const std::string&, int64_t) {
  NBLOG_ERROR("SyncManager: checkFilePropertyForRead is not built");
  return 1;
}

void SyncManager::setNormalFilePropertyLower(const std::string&, bool) {
  NBLOG_ERROR("SyncManager {}: setNormalFilePropertyLower is not built", nMountID_);
}

}  // namespace nb
