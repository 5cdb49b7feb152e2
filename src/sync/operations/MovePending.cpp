// Placeholder for moves within the library until they land.
#include "platform/Log.h"
#include "sync/centre/SyncManager.h"

namespace nb {

void SyncManager::receive_move(const std::string&, const std::string&) {
  NBLOG_ERROR("SyncManager {}: receive_move is not built", nMountID_);
}

}  // namespace nb
