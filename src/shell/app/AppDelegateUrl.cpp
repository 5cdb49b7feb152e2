// "vep://" links handed to the client: the main window opens on the
// library's file or folder.

#include "foundation/json/Json.h"
#include "platform/Log.h"
#include "shell/app/AppDelegate.h"
#include "shell/app/VepUrl.h"
#include "shell/windows/AppWindows.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "stores/syncdb/Syncdb.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb {

void AppDelegate::openUrlByVep(const std::string& url) {
  const auto request = vepMountRequest(url);
  if (!request) {
    NBLOG_INFO("ignored a link that is no library address");
    return;
  }
  // Both texts are shown as they are, in every language.
  auto manager = SyncCenter::shareSyncCenter().GetSyncManager(request->mountId);
  if (!manager) {
    NBLOG_INFO("library address: no access to library {}", request->mountId);
    setGrowlNotificationDescripation("您没有访问权限", std::nullopt);
    return;
  }
  if (manager->syncdb().get_single_file(request->webpath).nStatus == -1) {
    NBLOG_INFO("library address: no such file in library {}", request->mountId);
    setGrowlNotificationDescripation("文件不存在", std::nullopt);
    return;
  }
  showLaunchpadForTab("");
  auto windows = currentAppWindows("library address");
  auto main = windows ? windows->mainWindow(false) : nullptr;
  const auto json = JSONString(
      JsonValue::object({{"mount_id", request->mountId}, {"webpath", request->webpath}}));
  if (main && json) main->setcurrent(*json);
}

}  // namespace nb
