#include "shell/app/AppDelegate.h"

#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilPanels.h"
#include "platform/AppFolders.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/notify/NotificationCenter.h"
#include "shell/update/SelfUpdate.h"
#include "shell/windows/WindowDirectory.h"
#include "sync/centre/SyncCenter.h"

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

std::string ownProgramPath() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.string();
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
      taskQueue_(std::make_shared<platform::OperationQueue>()),
      terminate_(std::move(options.terminate)),
      spawn_(std::move(options.spawn)),
      programPath_(options.programPath.empty() ? ownProgramPath() : std::move(options.programPath)),
      logoutQuestion_(std::move(options.logoutQuestion)) {}

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

void AppDelegate::gSetMessageCount(const std::string& json) {
  const std::optional<JsonValue> parsed = dictionaryFromString(json);
  if (!parsed || !parsed->isObject()) return;
  // The status item shows the text and the launcher badge the count at its
  // next tick.
  const std::int32_t count = jsonInt32(*parsed, "count");
  std::optional<std::string> text;
  if (count >= 100) {
    text = "99+";
  } else if (count != 0) {
    text = std::to_string(count);
  }
  setStrMessageCount(std::move(text));
  nMessageCount_ = count;
}

void AppDelegate::SetHotKey(const std::vector<std::string>& keys) {
  bool alt = false, command = false, shift = false, ctrl = false;
  std::string key;
  for (const std::string& token : keys) {
    const std::string lower = lowercaseString(token);
    if (lower == "alt") {
      alt = true;
    } else if (lower == "command") {
      command = true;
    } else if (lower == "shift") {
      shift = true;
    } else if (lower == "ctrl") {
      ctrl = true;
    } else {
      key = token;
    }
  }
  // The key first: a matcher that sees the new modifiers with the old key
  // could fire on a combination the user never chose.
  setHotKeyString("");
  bAlt_ = alt;
  bCommand_ = command;
  bShift_ = shift;
  bCtrl_ = ctrl;
  setHotKeyString(std::move(key));
}

void AppDelegate::setAllCustomEvent(const PageEvent& event) {
  if (auto directory = currentWindowDirectory("page event to every window")) {
    directory->setAllCustomEvent(event);
  }
}

void AppDelegate::checkServerAppandUI() { update::checkServerAppandUI(*this); }

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

void AppDelegate::uploadSyncDb() { SyncCenter::shareSyncCenter().zipdb(); }

void AppDelegate::setGrowlNotificationDescripation(const std::string& description,
                                                   const std::optional<std::string>& context) {
  NotificationCenter::shareCenter().setGrowlNotificationDescripation(description, context);
}

}  // namespace nb
