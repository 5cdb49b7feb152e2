#include "shell/notify/NotificationCenter.h"

#include "api/server/ServerInfo.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/OsRelease.h"
#include "shell/ui/BundleImage.h"
#include "shell/ui/Ui.h"

namespace nb {

namespace {

// The old systems' notification centre counted its notifications; the
// comparison is textual on purpose ("10.10" sorts before "10.8.0").
bool versionCountsAsOld(const std::string& version) { return version < "10.8.0"; }

std::string notificationTitle() {
  std::string title = ServerInfo::current()->strTitleName();
  if (title.empty()) title = Util::localizedStringForKey("NubrenVesko");
  return title;
}

std::string notificationIcon() {
  std::string icon = ui::bundleImagePath("config/image/link");
  if (icon.empty()) icon = ui::bundleImagePath("nubren");
  return icon;
}

void missingAction(const char* what) {
  NBLOG_ERROR("a notification click cannot {}: no action is registered", what);
}

}  // namespace

std::string osReleaseText() { return platform::osReleaseText(); }

std::string systemVersionFromOsRelease(const std::string& osRelease) {
  return platform::keyValueField(osRelease, "VERSION_ID");
}

NotificationCenter& NotificationCenter::shareCenter() {
  static NotificationCenter center;
  return center;
}

NotificationCenter::NotificationCenter(Options options)
    : status_(versionCountsAsOld(options.systemVersion
                                     ? *options.systemVersion
                                     : systemVersionFromOsRelease(osReleaseText()))),
      self_(std::make_shared<NotificationCenter*>(this)) {}

void NotificationCenter::setClickActions(ClickActions actions) { actions_ = std::move(actions); }

void NotificationCenter::setScheduleGrowlUserNotification() {
  auto ui = ui::currentUi("notifications");
  if (!ui) return;
  std::weak_ptr<NotificationCenter*> weak = self_;
  ui::Notifier::Handlers handlers;
  handlers.clicked = [weak](const std::optional<std::string>& context) {
    if (auto self = weak.lock()) (*self)->growlNotificationWasClicked(context);
  };
  handlers.closed = [weak](const std::optional<std::string>& context) {
    if (auto self = weak.lock()) (*self)->growlNotificationTimedOut(context);
  };
  ui->notifier().setHandlers(std::move(handlers));
}

void NotificationCenter::setGrowlNotificationDescripation(
    const std::string& description, const std::optional<std::string>& context) {
  std::weak_ptr<NotificationCenter*> weak = self_;
  platform::MainThread::post([weak, description, context] {
    if (auto self = weak.lock()) (*self)->showOnMain(description, context);
  });
}

void NotificationCenter::showOnMain(const std::string& description,
                                    const std::optional<std::string>& context) {
  if (status_ && countNum_ >= kMaxOutstanding) {
    NBLOG_INFO("notification dropped: {} are outstanding", countNum_);
    return;
  }
  auto ui = ui::currentUi("notification");
  if (!ui) return;
  ui::Notification notification;
  notification.title = notificationTitle();
  notification.body = description;
  notification.iconPath = notificationIcon();
  notification.context = context;
  // Only a shown notification reports back, so only it is counted.
  if (ui->notifier().show(notification) && status_) ++countNum_;
}

void NotificationCenter::release() {
  if (status_ && countNum_ > 0) --countNum_;
}

void NotificationCenter::growlNotificationTimedOut(const std::optional<std::string>&) { release(); }

void NotificationCenter::growlNotificationWasClicked(const std::optional<std::string>& context) {
  release();
  if (!context || context->empty()) return;
  if (*context == "appupdate") {
    actions_.openUpdate ? actions_.openUpdate() : missingAction("open the update");
  } else if (*context == "resetapp") {
    actions_.restartClient ? actions_.restartClient() : missingAction("restart the client");
  } else {
    actions_.onMenuOpenNubrenClicked ? actions_.onMenuOpenNubrenClicked()
                                     : missingAction("open the main window");
    actions_.showMessageForLaunchpad ? actions_.showMessageForLaunchpad(*context)
                                     : missingAction("show its message");
  }
}

JsonValue NotificationCenter::registrationDictionaryForGrowl() {
  const JsonValue names = JsonValue::array({kNotificationName});
  JsonValue readable =
      JsonValue::object({{kNotificationName, Util::localizedStringForKey(kNotificationName)}});
  return JsonValue::object({{"ApplicationName", kApplicationName},
                            {"AllNotifications", names},
                            {"DefaultNotifications", names},
                            {"HumanReadableNames", std::move(readable)}});
}

}  // namespace nb
