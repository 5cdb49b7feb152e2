#include "sync/operations/CompareFileList.h"

#include "sync/centre/SyncManager.h"

namespace nb {

// An exception the call raises is caught, logged and dropped by the queue.
void CompareFileList::main() { _manager->firstCompareFileList(_webpath, _bCheck); }

}  // namespace nb
