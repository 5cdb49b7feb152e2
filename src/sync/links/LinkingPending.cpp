// Placeholders for linking and scanning until they land: each logs that it
// is missing.
#include "platform/Log.h"
#include "sync/centre/SyncManager.h"

namespace nb {

void SyncManager::scanlink() { NBLOG_ERROR("SyncManager {}: scanlink is not built", nMountID_); }
void SyncManager::scanlink(const std::string&) {
  NBLOG_ERROR("SyncManager {}: scanlink is not built", nMountID_);
}
void SyncManager::remove_link(const std::string&) {
  NBLOG_ERROR("SyncManager {}: remove_link is not built", nMountID_);
}

}  // namespace nb
