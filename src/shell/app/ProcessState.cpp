#include "shell/app/ProcessState.h"

#include <gtk/gtk.h>

#include "api/session/UserData.h"
#include "foundation/util/UtilDesktop.h"
#include "foundation/util/UtilWebPackage.h"
#include "http/auth/SecretServiceCredentialStorage.h"
#include "platform/MainThread.h"
#include "shell/alerts/NBAlert.h"
#include "shell/notify/NotificationCenter.h"
#include "stores/common/StoreSeams.h"
#include "sync/centre/SessionSeams.h"
#include "sync/operations/AddScan.h"
#include "sync/operations/SyncAlert.h"
#include "transfer/engine/Network.h"
#include "transfer/jobs/AddScan.h"
#include "transfer/templates/DownloadTemplateTask.h"

namespace nb {

namespace {

bool anyWindowActive() {
  if (!gdk_display_get_default()) return false;  // headless: no window at all
  GList* windows = gtk_window_list_toplevels();
  bool active = false;
  for (GList* node = windows; node; node = node->next) {
    if (gtk_window_is_active(GTK_WINDOW(node->data))) active = true;
  }
  g_list_free(windows);
  return active;
}

// What a click on a notification opens, as far as the shell has it; the
// window actions join when the windows are registered.
void registerNotificationClicks(const std::shared_ptr<AppDelegate>& app) {
  NotificationCenter::ClickActions actions;
  actions.openUpdate = [weak = std::weak_ptr<AppDelegate>(app)] {
    if (auto self = weak.lock()) Util::openWebUrl(self->appServerUrlString());
  };
  NotificationCenter::shareCenter().setClickActions(std::move(actions));
}

// The sync engine's alerts from its background jobs: the modal question,
// which blocks the calling worker until the user closed it.
void registerSyncAlerts() {
  setSyncAlertPresenter([](const std::string& message, const std::string& button) {
    NBAlert::Content content;
    content.message = message;
    content.style = ui::AlertStyle::Informational;
    NBAlert::showNBSheetModalForWindow(nullptr, content, std::vector<std::string>{button});
  });
}

}  // namespace

std::shared_ptr<AppDelegate> ProcessState::start(std::shared_ptr<AppDelegate> app) {
  if (!app) app = std::make_shared<AppDelegate>();
  setAppDelegate(app);
  registerSessionSeams();  // saved sign-in clearing, account settings reload
  registerStoreSeams();  // the older sync store conversion
  Util::setApplicationActiveQuery([] { return isApplicationActive(); });
  transfer::Network::registerAsSyncSeam();
  transfer::registerEnterpriseTemplates();
  transfer::registerAddScanStarter();
  http::ASICredentialStorage::setShared(std::make_shared<http::SecretServiceCredentialStorage>());
  registerNotificationClicks(app);
  registerSyncAlerts();
  return app;
}

void ProcessState::stop() {
  NotificationCenter::shareCenter().setClickActions({});
  setSyncAlertPresenter({});
  transfer::Network::unregisterSyncSeam();
  transfer::unregisterEnterpriseTemplates();
  setAddScanStarter({});
  http::ASICredentialStorage::setShared(nullptr);
  Util::setApplicationActiveQuery(nullptr);
  UserData::setSessionHooks({});
  setAppDelegate(nullptr);
}

bool ProcessState::isApplicationActive() {
  bool active = false;
  // GTK's windows belong to the main thread; a caller elsewhere asks there.
  platform::MainThread::postAndWait([&active] { active = anyWindowActive(); });
  return active;
}

}  // namespace nb
