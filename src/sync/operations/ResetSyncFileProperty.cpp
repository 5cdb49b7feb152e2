#include "sync/operations/ResetSyncFileProperty.h"

#include "sync/centre/SyncManager.h"

namespace nb {

// An exception the call raises is caught, logged and dropped by the queue.
void ResetSyncFileProperty::main() { _manager->setNormalFilePropertyLower(_webpath, _write); }

}  // namespace nb
