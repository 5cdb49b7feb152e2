#include "shell/app/AppDelegate.h"

#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilPanels.h"
#include "platform/AppFolders.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/notify/NotificationCenter.h"
#include "shell/update/SelfUpdate.h"
#include "shell/windows/WindowDirectory.h"

namespace nb {

namespace {

std::vector<std::filesystem::path> defaultResourceFolders() {
  const ServerInfo::Folders folders = ServerInfo::defaultFolders();
  return {folders.overrideDir, folders.installDir};
}

// A sound key names one file of the bundle, never a path.
bool isPlainName(const std::string& key) {
  return !key.empty() && key != "." && key != ".." && key.find('/') == std::string::npos &&
         key.find('\0') == std::string::npos;
}

struct Language {
  const char* webUrl;
  const char* request;
};

Language languageFor(std::int64_t settingsLanguage) {
  switch (settingsLanguage) {
    case 2:
      return {"en-us", "en-us;q=1,en"};
    case 3:
      return {"zh-tw", "zh-tw;q=1,zh"};
    default:
      return {"zh-cn", "zh-cn;q=1,zh"};
  }
}

}  // namespace

AppDelegate::AppDelegate(Options options)
    : resourceFolders_(options.resourceFolders.empty() ? defaultResourceFolders()
                                                       : std::move(options.resourceFolders)),
      soundPlayer_(options.soundPlayer ? std::move(options.soundPlayer)
                                       : platform::SoundPlayer::makeDesktop()),
      taskQueue_(std::make_shared<platform::OperationQueue>()) {}

// --- Language and configuration ----------------------------------------------------------

void AppDelegate::setLanguage(std::int64_t settingsLanguage) {
  const Language language = languageFor(settingsLanguage);
  auto bundle = LanguageBundle::forLanguage(language.webUrl);
  std::lock_guard lock(texts_.mutex());
  languageWithWebUrlString_ = language.webUrl;
  languageWithRequestString_ = language.request;
  languageBundle_ = std::move(bundle);
}

std::shared_ptr<const LanguageBundle> AppDelegate::languageBundle() const {
  return texts_.get(languageBundle_);
}

std::string AppDelegate::languageWithRequestString() {
  return texts_.get(languageWithRequestString_);
}

std::string AppDelegate::languageWithWebUrlString() {
  return texts_.get(languageWithWebUrlString_);
}

void AppDelegate::setServerInfo(std::shared_ptr<ServerInfo> info) {
  texts_.set(serverInfo_, std::move(info));
}

std::shared_ptr<ServerInfo> AppDelegate::serverInfo() { return texts_.get(serverInfo_); }

bool AppDelegate::checkUseHttps() {
  const std::shared_ptr<ServerInfo> info = serverInfo();
  return (info && info->bHttps()) || bUseHttps_;
}

// --- Services ----------------------------------------------------------------------------

bool AppDelegate::playSoundWithKey(const std::string& key) {
  if (!isPlainName(key)) return false;
  for (const auto& folder : resourceFolders_) {
    const std::filesystem::path file = folder / (key + ".wav");
    std::error_code error;
    if (std::filesystem::is_regular_file(file, error)) return soundPlayer_->play(file);
  }
  return false;
}

void AppDelegate::openwith(const std::string& path) {
  platform::MainThread::post([path] { Util::chooseApplicationAndOpenFile(nullptr, path); });
}

// --- What lower layers ask of the shell ------------------------------------------------------

void AppDelegate::setLinkStatus(bool up) {
  bLinkNetwork_ = up;
  if (auto event = PageEvent::make("LinkStatus", JsonValue::object({{"link", up ? 1 : 0}}))) {
    setAllCustomEvent(*event);
  }
  if (!up) return;
  if (bLogin_) {
    // The token may have run out while offline; the refresh goes to the
    // network, so not on the caller's thread.
    taskQueue_->addOperation([] { UserData::shareUserData().regettoken(); });
  } else if (bAutoLogin_) {
    unavailable("automatic sign-in");
  }
}

void AppDelegate::gSetMessageCount(const std::string& json) {
  const std::optional<JsonValue> parsed = dictionaryFromString(json);
  const std::int64_t count = parsed ? jsonInt64(*parsed, "count") : 0;
  setStrMessageCount(count > 0 ? std::optional<std::string>(std::to_string(count))
                               : std::nullopt);
}

void AppDelegate::setAllCustomEvent(const PageEvent& event) {
  if (auto directory = currentWindowDirectory("page event to every window")) {
    directory->setAllCustomEvent(event);
  }
}

void AppDelegate::refreshWithLoginByTokenError() { unavailable("sign-in window refresh"); }

void AppDelegate::logoutByError() { unavailable("log-out"); }

void AppDelegate::loginResultOnMainThread(const std::string& kind, std::int64_t code,
                                          const std::string& message) {
  (void)message;
  NBLOG_ERROR("sign-in window unavailable for the result {} {}", kind, code);
}

void AppDelegate::checkServerAppandUI() { update::checkServerAppandUI(*this); }

void AppDelegate::checkBySqlToLogin() { unavailable("sign-in check"); }

void AppDelegate::refreshWithUIByLoginFinish() {
  if (auto directory = currentWindowDirectory("page reload")) directory->reloadPages();
}

void AppDelegate::loadFinishForLaunchpad() {
  if (auto event = PageEvent::fromJsonText("LoadFinish", "{}")) sendToMain(*event);
}

std::vector<std::shared_ptr<BaseWebWindowController>> AppDelegate::checkCurrent(int64_t mountId) {
  auto directory = currentWindowDirectory("windows of a library");
  return directory ? directory->windowsShowing(mountId)
                   : std::vector<std::shared_ptr<BaseWebWindowController>>{};
}

std::vector<std::shared_ptr<BaseWebWindowController>> AppDelegate::checkCurrent(
    int64_t mountId, const std::string& webpath) {
  auto directory = currentWindowDirectory("windows of a folder");
  return directory ? directory->windowsShowing(mountId, webpath)
                   : std::vector<std::shared_ptr<BaseWebWindowController>>{};
}

void AppDelegate::gCompareNotifyReset(const std::string& json) {
  if (auto event = PageEvent::fromJsonText("gCompareNotifyReset", json)) sendToMain(*event);
}

void AppDelegate::lastUpdateDatelineForLaunchpad(const std::string& json) {
  if (auto event = PageEvent::fromJsonText("gLastUpdateDateline", json)) sendToMain(*event);
}

void AppDelegate::sendToMain(const PageEvent& event) {
  if (auto directory = currentWindowDirectory("page event to the main window")) {
    directory->sendToMain(event, false);
  }
}

void AppDelegate::showLaunchpadForTab(const std::string& tab) {
  NBLOG_ERROR("the main window cannot be shown yet (tab {})", tab);
}

void AppDelegate::uploadSyncDb() { unavailable("diagnostic bundle"); }

void AppDelegate::setGrowlNotificationDescripation(const std::string& description,
                                                   const std::optional<std::string>& context) {
  NotificationCenter::shareCenter().setGrowlNotificationDescripation(description, context);
}

void AppDelegate::unavailable(const char* what) {
  NBLOG_ERROR("the shell cannot serve the request yet: {}", what);
}

}  // namespace nb
