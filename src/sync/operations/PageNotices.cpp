#include "sync/operations/PageNotices.h"

#include "foundation/app/AppState.h"
#include "foundation/app/PageEvent.h"
#include "foundation/util/UtilFiles.h"
#include "stores/syncdb/SyncStatus.h"
#include "sync/centre/SyncManager.h"

namespace nb {

void sendUpdateFileInfo(SyncManager& manager, const SyncFileItem& item) {
  if (item.nStatus == SyncStatus::kNotFound) return;
  const int64_t linkType = manager.linkfolder().linkTypeByWebPath(item.strWebPath);
  const std::string local = manager.getnormalpath(item.strWebPath);
  const int64_t have = !local.empty() && Util::isfile(local) ? 1 : 0;
  const auto event = PageEvent::make("UpdateFileInfo", item.convert2dictionary(linkType, have, 0, ""));
  if (event) Util::getAppDelegate()->setAllCustomEvent(*event);
}

}  // namespace nb
