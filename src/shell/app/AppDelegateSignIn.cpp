// The sign-in paths of the application state: the automatic sign-in with the
// stored refresh token, the network switch, the hand-over to the session
// start, and the two windows a sign-in shows.

#include <thread>

#include "api/calls/HTTPEngine.h"
#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilSession.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/app/AccountInfo.h"
#include "shell/app/AppDelegate.h"
#include "shell/tasks/CheckOldVersion.h"
#include "shell/windows/AppWindows.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "shell/windows/LoginWebWindowController.h"
#include "shell/windows/WindowDirectory.h"
#include "stores/settings/SettingsDb.h"

namespace nb {

namespace {

void showMigrationNotice() {
  Util::getAppDelegate()->setGrowlNotificationDescripation(
      Util::localizedStringForKey("updatesql2to3"), std::nullopt);
}

}  // namespace

// --- Automatic sign-in ---------------------------------------------------------------

void AppDelegate::startLoginByAuto() {
  std::thread([self = shared_from_this()] { self->loginByAuto(); }).detach();
}

void AppDelegate::loginByAuto() {
  // Reconnect and the SDK request may start one at the same moment: the
  // test and the set are one step.
  if (bLogining_.exchange(true)) return;
  struct ClearLogining {
    std::atomic<bool>& flag;
    ~ClearLogining() { flag = false; }
  } clearOnExit{bLogining_};

  copyStoredAccount();
  if (bLinkNetwork_ && !refreshStoredSignIn()) return;
  bLogin_ = true;
  platform::MainThread::post([self = shared_from_this()] { self->checkBySqlToLogin(); });
}

void AppDelegate::copyStoredAccount() {
  UserData& user = UserData::shareUserData();
  const std::optional<JsonValue> json = dictionaryFromString(user.jsonUserinfo());
  if (!json) return;
  RetUserInfo stored;
  stored.setValueWithJson(*json);
  if (stored.nUserID <= 0) return;
  user.setUserID(stored.nUserID);
  user.setUserEmail(stored.strUserEmail);
  user.setUserWebName(stored.strUserName);
  user.setUserPhoto(stored.strPhotoUrl);
  user.setUserPhone(stored.strUserPhone);
  user.setStrMemberAccount(stored.strMemberAccount);
}

// False when the service refused the stored sign-in (nothing more to do).
bool AppDelegate::refreshStoredSignIn() {
  UserData& user = UserData::shareUserData();
  const RetToken ret = HTTPEngine::refreshToken(user.refreshToken(), user.getinfo(), user.getdevice());
  NBLOG_INFO("{},{},{}", ret.nStatusCode(), ret.nErrorCode(), ret.strErrorDescription);
  if (ret.nStatusCode() == 200) {
    applySignInToken(ret);
    readAccount(ret.strAccessToken, false);
    return true;
  }
  // A server fault (5xx) carries error codes too, but says nothing of the
  // refresh token: only a refusal signs out, the rest starts offline.
  if (UserData::isRefusedRefresh(ret)) {
    refuseStoredSignIn(ret.strErrorDescription, ret.nErrorCode());
    return false;
  }
  bLinkNetwork_ = false;
  return true;
}

void AppDelegate::refuseStoredSignIn(const std::string& description, std::int64_t errorCode) {
  SettingsDb::shareSettingDb().clearuserinfo();
  const std::string message = Util::getChangeTokenError(description);
  platform::MainThread::postAndWait([self = shared_from_this(), message] {
    self->loginResultOnMainThread("login", kLoginRefused, message);
  });
  bAutoLogin_ = false;
  bLogin_ = false;
  if (errorCode == RetToken::kOAuthDeprecated) checkServerAppandUI();
}

void AppDelegate::readAccount(const std::string& token, bool setLogin) {
  const RetUserInfo info = HTTPEngine::getAccountInfo(token, 0);
  if (info.nStatusCode() != 200 || info.nUserID <= 0) return;
  applyAccountInfo(info, serverInfo().get());
  if (setLogin) bLogin_ = true;
}

// --- Network switch --------------------------------------------------------------------

void AppDelegate::setLinkStatus(bool up) {
  bLinkNetwork_ = up;
  if (auto event = PageEvent::make("LinkStatus", JsonValue::object({{"link", up ? 1 : 0}}))) {
    setAllCustomEvent(*event);
  }
  if (!up) return;
  if (bLogin_) {
    // The token may have run out while offline; the refresh goes to the
    // network, so not on the caller's thread (which may be the main one).
    taskQueue_->addOperation([] { UserData::shareUserData().regettoken(); });
  } else if (bAutoLogin_) {
    if (UserData::shareUserData().refreshToken().empty()) {
      bAutoLogin_ = false;
    } else {
      startLoginByAuto();
    }
  }
}

// --- Hand-over to the session start ---------------------------------------------------------

void AppDelegate::checkBySqlToLogin() {
  if (auto windows = currentAppWindows("sign-in check")) {
    if (auto main = windows->mainWindow(false)) main->updateUI();
    if (auto login = windows->loginWindow(false)) login->window()->hide();
  }
  UserData& user = UserData::shareUserData();
  if (!user.hasOldVersion()) {
    startByLogin();
    return;
  }
  // The migration calls this again once the old stores are converted.
  bSqlite2To3_ = true;
  showMigrationNotice();
  queueCheckOldVersion(*taskQueue_);
}

// --- Windows of the sign-in ---------------------------------------------------------------------

void AppDelegate::showLoginWebWindowController() {
  if (bLockScreen_) return;
  auto windows = currentAppWindows("sign-in window");
  if (!windows) return;
  if (auto login = windows->loginWindow(true)) login->window()->present();
}

void AppDelegate::loginResultOnMainThread(const std::string& kind, std::int64_t code,
                                          const std::string& message) {
  auto windows = currentAppWindows("sign-in result");
  if (!windows) return;
  // A window made now delivers the result once its page has loaded; one
  // already showing its page gets it at once.
  const bool shown = windows->loginWindow(false) != nullptr;
  showLoginWebWindowController();
  auto login = windows->loginWindow(true);
  if (!login) return;
  // The page reads every item as text: the code goes as "102".
  login->setInfoArray({kind, std::to_string(code), message});
  if (shown && !login->window()->isLoading()) login->onJudgeDealArray();
}

void AppDelegate::showLaunchpadForTab(const std::string& tab) {
  if (bSqlite2To3_) {
    showMigrationNotice();
    return;
  }
  auto windows = currentAppWindows("main window");
  if (!windows) return;
  const bool first = !windows->mainWindow(false);
  auto main = windows->mainWindow(true);
  if (!main) return;
  if (first) main->adjustposition();
  main->updateTab(tab.empty() ? std::nullopt : std::optional<std::string>(tab));
  main->showWindow();
}

void AppDelegate::applicationShouldHandleReopen() {
  if (!bShouldHandleReopen_) return;
  if (bLoginFinish_) {
    showLaunchpadForTab("");
  } else if (Util::getShowLogin() && !bLogining_) {
    showLoginWebWindowController();
  }
}

// --- Session end after a refused token ----------------------------------------------------------

void AppDelegate::refreshWithLoginByTokenError() {
  NBLOG_INFO("refreshWithLoginByTokenError");
  if (auto windows = currentAppWindows("sign-out")) {
    if (auto main = windows->mainWindow(false)) main->window()->hide();
    for (const auto& browser : windows->browserWindows()) browser->window()->hide();
    if (auto login = windows->loginWindow(false)) login->reloadwebview();
  }
  refreshWithUIByLoginFinish();
}

void AppDelegate::refreshWithUIByLoginFinish() {
  // The main window and an open sign-in window load their pages again.
  if (auto directory = currentWindowDirectory("window reload")) directory->reloadPages();
}

}  // namespace nb
