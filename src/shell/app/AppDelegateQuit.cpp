// Ending the process: the quit question, the log-out with its keep/delete
// choice, and the relaunch that follows a log-out.

#include <gio/gio.h>

#include <filesystem>

#include "api/session/UserData.h"
#include "foundation/util/UtilSession.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/alerts/NBAlert.h"
#include "shell/app/AppDelegate.h"
#include "shell/ui/BundleImage.h"
#include "shell/windows/AppWindows.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "shell/windows/LoginWebWindowController.h"
#include "stores/localstorage/LocalStorage.h"
#include "stores/settings/SettingsDb.h"

namespace nb {

namespace {

bool spawnArgv(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  GError* error = nullptr;
  const gboolean ok = g_spawn_async(nullptr, args.data(), nullptr, G_SPAWN_DEFAULT, nullptr,
                                    nullptr, nullptr, &error);
  if (!ok) {
    NBLOG_ERROR("cannot start {}: {}", argv.empty() ? "" : argv[0],
                error ? error->message : "unknown");
    g_clear_error(&error);
  }
  return ok != FALSE;
}

int askLogout() {
  NBAlert::Content content;
  content.message = Util::localizedStringForKey(
      "注销帐号时,是否保留用户所有记录的文件(包括：同步文件夹信息，同步缓存文件和传输信息)?");
  content.iconPath = ui::bundleImagePath("link");
  std::shared_ptr<ui::WebWindow> parent;
  if (auto windows = currentAppWindows("log-out question")) {
    if (auto main = windows->mainWindow(false)) parent = main->window();
  }
  const std::vector<std::string> buttons{Util::localizedStringForKey("保留"),
                                         Util::localizedStringForKey("删除"),
                                         Util::localizedStringForKey("取消")};
  return NBAlert::runModalSheetForWindow(parent, content, buttons);
}

}  // namespace

void AppDelegate::terminate() {
  bOut_ = true;
  if (terminate_) {
    terminate_();
  } else {
    platform::MainThread::quit();
  }
}

void AppDelegate::handleQuitEvent() {
  bOut_ = true;
  NBLOG_INFO("out");
  terminate();
}

void AppDelegate::onMenuQuitAppClicked() {
  auto windows = currentAppWindows("quit question");
  auto self = shared_from_this();
  if (!windows) {
    terminate();
    return;
  }
  windows->askQuit(bLogin_, bNBNoteNeedSave_, nAllTransCount_, [self] { self->terminate(); });
}

void AppDelegate::gQuit() { terminate(); }

void AppDelegate::onBtnLogoutClicked() {
  const int answer = logoutQuestion_ ? logoutQuestion_() : askLogout();
  if (answer != kLogoutKeep && answer != kLogoutDelete) return;
  logoff(answer == kLogoutKeep);
}

bool AppDelegate::deleteUserFolderSafely() {
  UserData& user = UserData::shareUserData();
  const std::int64_t id = user.userID();
  if (id <= 0) return false;
  const std::filesystem::path expected =
      std::filesystem::path(user.configPath()) / std::to_string(id);
  const std::string folder = user.getuserfolderpath();
  // Only the configuration folder's own entry of this user, whatever the
  // path text says; the favourites links inside go, their targets stay.
  if (folder.empty() || std::filesystem::path(folder).lexically_normal() != expected) {
    NBLOG_ERROR("log-out keeps the user folder {}: not the user's own folder", folder);
    return false;
  }
  return user.deleteUserFolder();
}

void AppDelegate::logoff(bool keepFiles) {
  UserData& user = UserData::shareUserData();
  const std::int64_t id = user.userID();
  SettingsDb& settings = SettingsDb::shareSettingDb();
  if (!keepFiles) deleteUserFolderSafely();
  settings.clear_userinfo();
  settings.deleteScreenPassword(id);
  if (!keepFiles) LocalStorage::shareLocalStorage().deleteLikeKey(id);
  bOut_ = true;
  restartClient();
}

void AppDelegate::restartClient() {
  if (programPath_.empty()) {
    NBLOG_ERROR("relaunch: the program's own path is unknown");
  } else {
    // The new process waits for this one's lock: a fixed head start loses
    // the relaunch whenever this process takes longer to end.
    const std::vector<std::string> argv{programPath_, kRelaunchArgument};
    if (spawn_ ? spawn_(argv) : spawnArgv(argv)) NBLOG_INFO("relaunch started");
  }
  terminate();
}

}  // namespace nb
