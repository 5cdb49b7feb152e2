#include "sync/operations/CheckDownloadSyncMode.h"

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilUrl.h"
#include "sync/centre/SyncManager.h"
#include "sync/operations/SyncAlert.h"

namespace nb {

// An exception the calls raise is caught, logged and dropped by the queue.
void CheckDownloadSyncMode::main() {
  if (_manager->checkCanDownloadForFolder(_webpath)) return;
  _manager->remove_link(_webpath);
  message();
}

void CheckDownloadSyncMode::message() const {
  showSyncAlert(fillMarks(Util::localizedStringForKey(kUnlinkedText), {_webpath}),
                Util::localizedStringForKey(kButtonText));
}

}  // namespace nb
