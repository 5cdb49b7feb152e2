#include "sync/operations/PageNotices.h"

#include "stores/syncdb/SyncStatus.h"
#include "sync/centre/SyncManager.h"

namespace nb {

void sendUpdateFileInfo(SyncManager& manager, const SyncFileItem& item) {
  if (item.nStatus == SyncStatus::kNotFound) return;
  SyncFileItem shown = item;
  manager.SendUpdateFileInfo(shown, true);
}

}  // namespace nb
