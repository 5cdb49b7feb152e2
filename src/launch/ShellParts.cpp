#include "launch/ShellParts.h"

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "bridge/chrome/AppChrome.h"
#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/push/SocketParseActions.h"
#include "bridge/windows/WindowRegistry.h"
#include "foundation/util/UtilDesktop.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/app/AppDelegate.h"
#include "shell/app/ApplicationActions.h"
#include "shell/notify/NotificationCenter.h"
#include "shell/sdk/SdkSignIn.h"
#include "shell/ui/Ui.h"
#include "shell/windows/AboutWindowController.h"
#include "shell/windows/AppWindows.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "shell/windows/WindowPages.h"
#include "stores/catalogue/Mountsdb.h"

namespace nb::launch {

namespace {

constexpr ui::Size kSettingsSize{794, 490};
constexpr ui::Size kUpdateSize{540, 336};

// What a menu entry, a notification click or the SDK asks of the chrome
// runs only while the chrome is up; before, it is logged as missing.
void withChrome(const char* caller, void (bridge::AppChrome::*action)()) {
  if (auto chrome = bridge::AppChrome::current(caller)) ((*chrome).*action)();
}

void showLockMenu(bool locked) {
  withChrome("lock state", locked ? &bridge::AppChrome::setLockScreenDoneOnMainThread
                                  : &bridge::AppChrome::setUnlockScreenDoneOnMainThread);
  NBLOG_INFO("the status menu shows the {} lock state", locked ? "locked" : "unlocked");
}

// A pushed shortcut change: read on the task queue (the main thread would
// freeze every window for the call), stored, then handed to the window the
// push came through.
void checkShortcuts(WebWindowController& window) {
  const auto queue = Util::getAppDelegate()->taskQueue();
  if (!queue) {
    NBLOG_ERROR("no task queue: the shortcuts are not read again");
    return;
  }
  std::weak_ptr<WebWindowController> target = window.weak_from_this();
  queue->addOperation([target, token = UserData::shareUserData().userToken()] {
    bool ok = false;
    const std::string json = HTTPEngine::getShortcuts(token, ok, 0);
    if (!ok) {
      NBLOG_WARN("the shortcuts could not be read again");
      return;
    }
    Mountsdb::shareMountsdb().addLinks(json);
    platform::MainThread::post([target, json] {
      if (auto page = target.lock()) page->setCustomEvent("gUpdateShortcuts", json);
    });
  });
}

void registerNotificationClicks(const std::shared_ptr<AppDelegate>& app) {
  std::weak_ptr<AppDelegate> weak = app;
  NotificationCenter::ClickActions actions;
  actions.openUpdate = [weak] {
    if (auto self = weak.lock()) Util::openWebUrl(self->appServerUrlString());
  };
  actions.restartClient = [weak] {
    if (auto self = weak.lock()) self->restartClient();
  };
  actions.onMenuOpenNubrenClicked = [] {
    withChrome("notification click", &bridge::AppChrome::onMenuOpenNubrenClicked);
  };
  actions.showMessageForLaunchpad = [](const std::string& json) {
    auto windows = currentAppWindows("notification message");
    auto main = windows ? windows->mainWindow(false) : nullptr;
    if (main) main->setAction(json);
  };
  NotificationCenter::shareCenter().setClickActions(std::move(actions));
}

}  // namespace

void registerShellAnswers(const std::shared_ptr<AppDelegate>& app) {
  std::weak_ptr<AppDelegate> owner = app;
  setApplicationActions({.terminate = [owner] { if (auto self = owner.lock()) self->terminate(); },
                         .restartClient = [owner] { if (auto self = owner.lock()) self->restartClient(); },
                         .openAboutWindow =
                             [owner] {
                               auto self = owner.lock();
                               auto ui = ui::currentUi("About window");
                               if (self && ui) AboutWindowController::show(*ui, self->appVersionString());
                             },
                         .showLockState = showLockMenu});
  SocketParseActions::setShortcutsCheck(checkShortcuts);
  registerNotificationClicks(app);
}

void openSettingsWindow() {
  auto registry = bridge::currentWindowRegistry("settings window");
  auto ui = ui::currentUi("settings window");
  if (!registry || !ui) return;
  auto settings =
      registry->getBrowserWebWindowController(*ui, "sole", Util::localizedStringForKey("设置"));
  settings->setStrUrl(uiPageUrl(uiFolder(), "#/setting/account"));
  settings->window()->setResizable(true);
  settings->adjustframe(kSettingsSize);
  settings->reload(false);
  settings->window()->present();
}

ShellParts::ShellParts(std::shared_ptr<AppDelegate> app) : app_(std::move(app)) {}

ShellParts::~ShellParts() {
  stop();
  chrome_.reset();
}

void ShellParts::startSdkSignIn() {
  std::weak_ptr<AppDelegate> weak = app_;
  SdkSignIn::Host host;
  host.openMainWindow = [] {
    withChrome("SDK sign-in", &bridge::AppChrome::onMenuOpenNubrenClicked);
  };
  host.loginByAuto = [weak] {
    if (auto self = weak.lock()) self->startLoginByAuto();
  };
  host.setSignedIn = [weak] {
    if (auto self = weak.lock()) self->setBLogin(true);
  };
  sdk_ = std::make_unique<SdkSignIn>(std::move(host), app_->lockSDKLogin());
  if (!sdk_->start()) sdk_.reset();
}

void ShellParts::initUpdateDlg() {
  auto registry = bridge::currentWindowRegistry("update window");
  auto ui = ui::currentUi("update window");
  if (!registry || !ui) return;
  auto update = BrowserWebWindowController::create(*ui, "", "");
  bridge::NBWebViewDelegate::install(update, bridge::TrustedOrigins::current());
  update->setStrUrl(uiPageUrl(uiFolder(), "#/updatetip"));
  // It only hides until a relaunch lets it go.
  update->setBNotClose(true);
  update->adjustframe(kUpdateSize);
  update->window()->setKeepAbove(true);
  update->reload(false);
  registry->setUpdateWindow(update);
}

void ShellParts::initStateIconAndMenu() {
  std::weak_ptr<AppDelegate> weak = app_;
  bridge::AppChrome::Options options;
  options.actions.showSignIn = [weak] {
    if (auto self = weak.lock()) self->showLoginWebWindowController();
  };
  options.actions.settings = openSettingsWindow;
  options.actions.logout = [weak] {
    if (auto self = weak.lock()) self->onBtnLogoutClicked();
  };
  options.actions.quit = [weak] {
    if (auto self = weak.lock()) self->terminate();
  };
  options.actions.about = openAboutWindow;
  chrome_ = bridge::AppChrome::start(app_, std::move(options));
}

void ShellParts::SetHotKey(const std::vector<std::string>& keys) {
  if (chrome_) {
    chrome_->SetHotKey(keys);
  } else {
    app_->SetHotKey(keys);
  }
}

void ShellParts::stop() {
  // The chrome is only taken back here: a housekeeping pass may be waiting
  // for the main thread, which no longer runs, so joining its thread could
  // keep the process (and its instance lock) from ending. It ends with the
  // process, or with this object.
  if (chrome_) bridge::AppChrome::stop();
  sdk_.reset();
}

}  // namespace nb::launch
