#include "bridge/chrome/AppChrome.h"

#include <glib.h>

#include "api/server/ServerInfo.h"
#include "bridge/functions/HotKeyRegistrar.h"
#include "bridge/windows/WindowRegistry.h"
#include "foundation/util/UtilDesktop.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/ui/Registered.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "shell/windows/LoginWebWindowController.h"
#include "shell/windows/WindowDirectory.h"

namespace nb::bridge {

namespace {

ui::Registered<AppChrome>& registered() {
  static ui::Registered<AppChrome> slot;
  return slot;
}

// A menu entry or posted hook may outlive the chrome: it runs only while
// the chrome lives.
std::function<void()> whileAlive(const std::weak_ptr<bool>& alive, std::function<void()> fn) {
  return [alive, fn = std::move(fn)] {
    if (alive.lock()) fn();
  };
}

ui::HotKeyModifiers modifiersOf(const AppDelegate& app) {
  return {.alt = app.bAlt(), .ctrl = app.bCtrl(), .super = app.bCommand(), .shift = app.bShift()};
}

}  // namespace

std::shared_ptr<AppChrome> AppChrome::start(std::shared_ptr<AppDelegate> app, Options options) {
  auto ui = ui::currentUi("status item");
  if (!ui || !app) return nullptr;
  auto chrome = std::make_shared<AppChrome>(std::move(app), std::move(ui), std::move(options));
  registered().set(chrome);
  // The settings page's hot key reaches the grab at once.
  setHotKeyRegistrar([weak = std::weak_ptr<AppChrome>(chrome)](const std::vector<std::string>& keys) {
    if (auto self = weak.lock()) self->SetHotKey(keys);
  });
  return chrome;
}

std::shared_ptr<AppChrome> AppChrome::start(std::shared_ptr<AppDelegate> app) {
  return start(std::move(app), Options{});
}

void AppChrome::stop() {
  setHotKeyRegistrar(nullptr);
  registered().set(nullptr);
}

std::shared_ptr<AppChrome> AppChrome::current(const char* caller) {
  return registered().get(caller, "application chrome");
}

AppChrome::AppChrome(std::shared_ptr<AppDelegate> app, std::shared_ptr<ui::Ui> ui, Options options)
    : app_(std::move(app)),
      ui_(std::move(ui)),
      actions_(std::move(options.actions)),
      screenLock_(*app_, [&] {
        ScreenLock::Options lock = std::move(options.screenLock);
        lock.lockScreenDone = whileAlive(alive_, [this] { setLockScreenDone(); });
        lock.unlockScreenDone = whileAlive(alive_, [this] { setUnlockScreenDone(); });
        return lock;
      }()) {
  statusItemView_ = std::make_unique<StatusItemView>(*app_, ui_->makeStatusItem("nubren"),
                                                     menuActions(), options.statusItem);
  hotKey_ = std::make_shared<ScreenshotHotKey>(*app_, ui_->screenCapture());
  grab_ = ui_->makeGlobalHotKey(whileAlive(alive_, [this] { screenshotRequested(); }));
  syncHotKeyGrab();
  ui_->setApplicationMenu(applicationMenu());
  ui_->setKeyObserver([weak = std::weak_ptr<bool>(alive_), this](ui::WebWindow& window,
                                                                 const ui::KeyEvent& event) {
    return weak.lock() && keyInWindow(window, event);
  });
  timer_ = g_timeout_add_seconds(
      1,
      [](gpointer self) -> gboolean {
        static_cast<AppChrome*>(self)->tick();
        return G_SOURCE_CONTINUE;
      },
      this);
  if (options.startHousekeeping) {
    timerThread_ = std::make_unique<TimerThread>(
        *app_, options.housekeeping.value_or(TimerThread::Sources{}));
  }
}

StatusMenuActions AppChrome::menuActions() {
  StatusMenuActions menu;
  menu.open = whileAlive(alive_, [this] { onMenuOpenNubrenClicked(); });
  menu.settings = whileAlive(alive_, [this] {
    actions_.settings ? actions_.settings() : missing("the settings window");
  });
  menu.lock = whileAlive(alive_, [this] { onLockLauchpad(); });
  menu.logout = whileAlive(alive_, [this] {
    actions_.logout ? actions_.logout() : missing("log-out");
  });
  menu.quit = whileAlive(alive_, [this] { onMenuQuitAppClicked(); });
  return menu;
}

AppChrome::~AppChrome() {
  ui_->setKeyObserver(nullptr);
  ui_->setApplicationMenu({});
  if (timer_ != 0) g_source_remove(timer_);
  timerThread_.reset();
}

void AppChrome::missing(const char* what) {
  NBLOG_ERROR("the status menu cannot reach {}: nothing is registered", what);
}

// --- Menu actions ----------------------------------------------------------------------

void AppChrome::onMenuOpenNubrenClicked() {
  if (app_->bLoginFinish()) {
    actions_.showMain ? actions_.showMain() : app_->showLaunchpadForTab("");
    return;
  }
  // The automatic sign-in or a sign-in is still working.
  if (app_->bAutoLogin() || app_->bLogining()) return;
  if (app_->bLockScreen()) {
    NBLOG_INFO("the sign-in window stays hidden while the client is locked");
    return;
  }
  actions_.showSignIn ? actions_.showSignIn() : missing("the sign-in window");
}

void AppChrome::onLockLauchpad() {
  onMenuOpenNubrenClicked();
  auto directory = currentWindowDirectory("lock request");
  auto event = PageEvent::fromJsonText("ShowLockScreenDialog", "{}");
  if (directory && event) directory->sendToMain(*event, false);
}

void AppChrome::onMenuHelperWebClicked() {
  const std::shared_ptr<ServerInfo> info = app_->serverInfo();
  const std::string host = info ? info->strWebHost() : std::string();
  const std::string url = host + "/help?hl=" + app_->languageWithWebUrlString();
  Util::openWebUrl(Util::getDealWithHttpsOrHttpUrl(url));
}

void AppChrome::onMenuQuitAppClicked() {
  auto registry = currentWindowRegistry("quit");
  if (!registry) return;
  const QuitState state{app_->bLogin(), app_->bNBNoteNeedSave(), app_->nAllTransCount()};
  registry->onMenuQuitAppClicked(state, [this] {
    actions_.quit ? actions_.quit() : missing("the end of the process");
  });
}

// --- Lock --------------------------------------------------------------------------------

void AppChrome::setUnlockScreenDone() { statusItemView_->setUnlockScreenDone(); }

void AppChrome::hideWindows() {
  auto registry = currentWindowRegistry("hiding the windows");
  if (!registry) return;
  if (auto main = registry->mainWindow()) main->window()->hide();
  for (const auto& browser : registry->browserWindows()) browser->window()->hide();
}

void AppChrome::setLockScreenDone() {
  if (auto registry = currentWindowRegistry("lock")) {
    if (auto about = registry->aboutWindow()) {
      registry->setAboutWindow(nullptr);
      about->window()->close();
    }
  }
  hideWindows();
  statusItemView_->setLockScreenDone();
}

void AppChrome::setUnlockScreenDoneOnMainThread() {
  platform::MainThread::post(whileAlive(alive_, [this] { setUnlockScreenDone(); }));
}

void AppChrome::setLockScreenDoneOnMainThread() {
  platform::MainThread::post(whileAlive(alive_, [this] { setLockScreenDone(); }));
}

// --- Hot key and tick ------------------------------------------------------------------

void AppChrome::screenshotRequested() {
  hotKey_->keyDown({app_->hotKeyString(), requiredHotKeyModifiers(*app_)});
}

bool AppChrome::keyInWindow(ui::WebWindow& window, const ui::KeyEvent& event) {
  if (!event.press) {
    if (event.escape && window.kind() == ui::WindowKind::Main && window.isFullScreen()) {
      window.setFullScreen(false);
    }
    return false;
  }
  unsigned modifiers = 0;
  if (event.modifiers.alt) modifiers |= kHotKeyAlt;
  if (event.modifiers.ctrl) modifiers |= kHotKeyCtrl;
  if (event.modifiers.super) modifiers |= kHotKeyCommand;
  if (event.modifiers.shift) modifiers |= kHotKeyShift;
  if (hotKey_->keyDown({event.character, modifiers})) return true;
  if (modifiers != kHotKeyCtrl) return false;
  // Posted: closing or hiding the window inside its own key handler would
  // pull it from under the toolkit.
  std::function<void()> action;
  if (event.character == "q") {
    action = [this] { onMenuQuitAppClicked(); };
  } else if (event.character == "h") {
    action = [this] { hideWindows(); };
  } else if (event.character == "w") {
    action = [this, hwnd = window.hwnd()] { closeWindow(hwnd); };
  } else if (event.character == "m") {
    action = [this, hwnd = window.hwnd()] { minimizeWindow(hwnd); };
  } else {
    return false;
  }
  platform::MainThread::post(whileAlive(alive_, std::move(action)));
  return true;
}

std::shared_ptr<WebWindowController> AppChrome::windowNumbered(std::int64_t hwnd, const char* why) {
  auto registry = currentWindowRegistry(why);
  if (!registry) return nullptr;
  std::vector<std::shared_ptr<WebWindowController>> windows;
  if (auto main = registry->mainWindow()) windows.push_back(main);
  if (auto login = registry->loginWindow()) windows.push_back(login);
  for (const auto& browser : registry->browserWindows()) windows.push_back(browser);
  for (const auto& controller : windows) {
    if (controller->hwnd() == hwnd) return controller;
  }
  return nullptr;
}

void AppChrome::closeWindow(std::int64_t hwnd) {
  if (auto controller = windowNumbered(hwnd, "closing a window")) controller->window()->requestClose();
}

void AppChrome::minimizeWindow(std::int64_t hwnd) {
  if (auto controller = windowNumbered(hwnd, "minimising a window")) controller->window()->minimize();
}

std::string AppChrome::applicationTitle() const {
  const std::shared_ptr<ServerInfo> info = app_->serverInfo();
  std::string title = info ? info->strTitleName() : std::string();
  return title.empty() ? Util::localizedStringForKey("NubrenVesko") : title;
}

ui::AppMenu AppChrome::applicationMenu() {
  using ui::AppMenuItem;
  const auto item = [this](const char* key, std::string accelerator,
                           std::function<void(ui::WebWindow&)> activate) {
    return AppMenuItem{Util::localizedStringForKey(key), std::move(accelerator),
                       [alive = std::weak_ptr<bool>(alive_), activate = std::move(activate)](
                           ui::WebWindow& window) {
                         if (alive.lock()) activate(window);
                       },
                       {}};
  };
  const auto edit = [&item](const char* key, const char* accelerator, ui::EditCommand command) {
    return item(key, accelerator, [command](ui::WebWindow& window) { window.runEditCommand(command); });
  };
  menuTitle_ = applicationTitle();
  AppMenuItem application{menuTitle_, "", nullptr, {}};
  application.submenu = {
      item("关于", "", [this](ui::WebWindow&) { actions_.about ? actions_.about() : missing("the About window"); }),
      AppMenuItem::separator(),
      item("网络设置", "", [](ui::WebWindow&) { Util::systemPreferenceWithNetwork(); }),
      AppMenuItem::separator(),
      item("隐藏 Nubren", "<Control>h", [this](ui::WebWindow&) { hideWindows(); }),
      item("隐藏 其他", "<Control><Alt>h", [this](ui::WebWindow&) { ui_->hideOtherApplications(); }),
      AppMenuItem::separator(),
      item("退出Nubren", "<Control>q", [this](ui::WebWindow&) { onMenuQuitAppClicked(); }),
  };
  AppMenuItem editing{Util::localizedStringForKey("编辑"), "", nullptr, {}};
  editing.submenu = {edit("剪切", "<Control>x", ui::EditCommand::Cut),
                     edit("复制", "<Control>c", ui::EditCommand::Copy),
                     edit("粘贴", "<Control>v", ui::EditCommand::Paste),
                     edit("全选", "<Control>a", ui::EditCommand::SelectAll)};
  AppMenuItem windows{Util::localizedStringForKey("窗口"), "", nullptr, {}};
  windows.submenu = {
      item("关闭", "<Control>w", [this](ui::WebWindow& window) { closeWindow(window.hwnd()); }),
      item("最小化", "<Control>m", [](ui::WebWindow& window) { window.minimize(); })};
  AppMenuItem help{Util::localizedStringForKey("帮助"), "", nullptr, {}};
  help.submenu = {item("在线帮助", "", [this](ui::WebWindow&) { onMenuHelperWebClicked(); })};
  return {application, editing, windows, help};
}

void AppChrome::SetHotKey(const std::vector<std::string>& keys) {
  app_->SetHotKey(keys);
  syncHotKeyGrab();
}

void AppChrome::tick() {
  statusItemView_->handleTimer();
  syncHotKeyGrab();
  // The deployment's name may come with its configuration after start-up.
  if (applicationTitle() != menuTitle_) ui_->setApplicationMenu(applicationMenu());
}

void AppChrome::syncHotKeyGrab() {
  const unsigned modifiers = requiredHotKeyModifiers(*app_);
  const std::string key = app_->hotKeyString();
  if (modifiers == 0 || key.empty()) {
    if (grabbed_) grab_->release();
    grabbed_.reset();
    return;
  }
  const std::pair<std::string, unsigned> wanted{key, modifiers};
  if (grabbed_ == wanted) return;
  // Tried once per setting: a combination another program holds stays
  // ungrabbed until the setting changes.
  grab_->grab(key, modifiersOf(*app_));
  grabbed_ = wanted;
}

}  // namespace nb::bridge
