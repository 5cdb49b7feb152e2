#include "bridge/windows/WindowRegistry.h"

#include <algorithm>

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/windows/PageEventRoutes.h"
#include "foundation/json/JsonValue.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "shell/windows/LoginWebWindowController.h"
#include "shell/windows/PageEventText.h"
#include "shell/ui/Registered.h"

namespace nb::bridge {

namespace {

bool isOpen(const std::shared_ptr<WebWindowController>& window) {
  return window && !window->window()->isClosed();
}

ui::Registered<WindowRegistry>& registeredRegistry() {
  static ui::Registered<WindowRegistry> registry;
  return registry;
}

}  // namespace

void setWindowRegistry(std::shared_ptr<WindowRegistry> registry) {
  registeredRegistry().set(std::move(registry));
}

std::shared_ptr<WindowRegistry> currentWindowRegistry(const char* caller) {
  return registeredRegistry().get(caller, "window registry");
}

std::shared_ptr<WindowRegistry> WindowRegistry::start() {
  auto registry = std::make_shared<WindowRegistry>();
  setWindowRelay(registry);
  setWindowDirectory(registry);
  setWindowRegistry(registry);
  return registry;
}

void WindowRegistry::setMainWindow(std::shared_ptr<LaunchpadWindowController> window) {
  std::lock_guard lock(mutex_);
  main_ = std::move(window);
}

void WindowRegistry::setLoginWindow(std::shared_ptr<LoginWebWindowController> window) {
  std::lock_guard lock(mutex_);
  login_ = std::move(window);
}

void WindowRegistry::setAboutWindow(std::shared_ptr<WebWindowController> window) {
  std::lock_guard lock(mutex_);
  about_ = std::move(window);
}

void WindowRegistry::setUpdateWindow(std::shared_ptr<BrowserWebWindowController> window) {
  std::lock_guard lock(mutex_);
  update_ = std::move(window);
}

std::shared_ptr<LaunchpadWindowController> WindowRegistry::mainWindow() const {
  std::lock_guard lock(mutex_);
  return main_;
}

std::shared_ptr<LoginWebWindowController> WindowRegistry::loginWindow() const {
  std::lock_guard lock(mutex_);
  return login_;
}

std::shared_ptr<WebWindowController> WindowRegistry::aboutWindow() const {
  std::lock_guard lock(mutex_);
  return about_;
}

std::shared_ptr<BrowserWebWindowController> WindowRegistry::updateWindow() const {
  std::lock_guard lock(mutex_);
  return update_;
}

std::vector<std::shared_ptr<BrowserWebWindowController>> WindowRegistry::browserWindows() const {
  std::lock_guard lock(mutex_);
  return browsers_;
}

WindowRegistry::Snapshot WindowRegistry::snapshot() const {
  std::lock_guard lock(mutex_);
  return {main_, login_, browsers_, update_};
}

std::shared_ptr<BrowserWebWindowController> WindowRegistry::getBrowserWebWindowController(
    ui::Ui& ui, const std::string& solestr, const std::string& strKey) {
  {
    std::lock_guard lock(mutex_);
    for (const auto& browser : browsers_) {
      if (browser->solestr() == solestr && browser->strKey() == strKey && isOpen(browser)) {
        return browser;
      }
    }
  }
  auto browser = BrowserWebWindowController::create(ui, solestr, strKey);
  NBWebViewDelegate::install(browser, TrustedOrigins::current());
  addBrowserWindow(browser);
  return browser;
}

void WindowRegistry::addBrowserWindow(std::shared_ptr<BrowserWebWindowController> window) {
  if (!window) return;
  std::lock_guard lock(mutex_);
  browsers_.push_back(std::move(window));
}

void WindowRegistry::setCurrent(std::int64_t mountId, const std::string& webpath,
                                std::int64_t hwnd) {
  const Snapshot s = snapshot();
  std::vector<std::shared_ptr<WebWindowController>> all;
  if (s.main) all.push_back(s.main);
  all.insert(all.end(), s.browsers.begin(), s.browsers.end());
  for (const auto& window : all) {
    if (window->hwnd() != hwnd) continue;
    window->setNCurrentMountID(mountId);
    window->setStrCurrentWebPath(webpath);
  }
}

std::vector<std::shared_ptr<WebWindowController>> WindowRegistry::checkCurrent(
    std::int64_t mountId) const {
  const Snapshot s = snapshot();
  std::vector<std::shared_ptr<WebWindowController>> found;
  if (s.main && s.main->nCurrentMountID() == mountId) found.push_back(s.main);
  for (const auto& browser : s.browsers) {
    if (isOpen(browser) && browser->nCurrentMountID() == mountId) found.push_back(browser);
  }
  return found;
}

std::vector<std::shared_ptr<WebWindowController>> WindowRegistry::checkCurrent(
    std::int64_t mountId, const std::string& webpath) const {
  std::vector<std::shared_ptr<WebWindowController>> found = checkCurrent(mountId);
  std::erase_if(found, [&](const auto& window) { return window->strCurrentWebPath() != webpath; });
  return found;
}

void WindowRegistry::sendToAll(const PageEvent& event) const {
  const Snapshot s = snapshot();
  if (s.main) s.main->setCustomEvent(event);
  if (s.login && event.name() == "gCheckUpdate" && isOpen(s.login)) s.login->setCustomEvent(event);
  for (const auto& browser : s.browsers) {
    if (isOpen(browser) && browser->nCurrentMountID() != 0) browser->setCustomEvent(event);
  }
}

void WindowRegistry::PostMessage(const std::string& message, const std::string& title) const {
  if (auto event = pageEventFromText("PostMessage", message)) {
    deliver(*event, EventScope{.title = title});
  }
}

void WindowRegistry::gCloseCurrentPath(const std::string& json) {
  if (auto main = mainWindow()) main->gCloseCurrentPath(json);
}

void WindowRegistry::closeWindowsForLaunchpad(std::int64_t hwnd) {
  if (!mainWindow()) return;
  if (auto event = PageEvent::make("gCloseWindow", JsonValue::object({{"hwnd", hwnd}}))) {
    sendToAll(*event);
  }
}

void WindowRegistry::setAllCustomEvent(const PageEvent& event) { sendToAll(event); }

std::vector<std::shared_ptr<BaseWebWindowController>> WindowRegistry::windowsShowing(
    std::int64_t mountId) {
  const auto found = checkCurrent(mountId);
  return {found.begin(), found.end()};
}

std::vector<std::shared_ptr<BaseWebWindowController>> WindowRegistry::windowsShowing(
    std::int64_t mountId, const std::string& webpath) {
  const auto found = checkCurrent(mountId, webpath);
  return {found.begin(), found.end()};
}

void WindowRegistry::sendToMain(const PageEvent& event, bool wait) {
  const std::shared_ptr<LaunchpadWindowController> main = mainWindow();
  if (!main) return;
  if (wait) {
    main->setCustomEvent(event);
  } else {
    platform::MainThread::post([main, event] { main->setCustomEvent(event); });
  }
}

void WindowRegistry::sendToUpdateWindow(const PageEvent& event) {
  const std::shared_ptr<BrowserWebWindowController> update = updateWindow();
  if (update && isOpen(update)) update->setCustomEvent(event);
}

void WindowRegistry::reloadPages() {
  const Snapshot s = snapshot();
  if (s.main) s.main->updateUI();
  if (s.login && isOpen(s.login)) s.login->updateUI();
}

void WindowRegistry::sendToWindow(const PageEvent& event, std::int64_t hwnd) const {
  const Snapshot s = snapshot();
  if (s.main && s.main->hwnd() == hwnd) s.main->setCustomEvent(event);
  if (s.login && s.login->hwnd() == hwnd && isOpen(s.login)) s.login->setCustomEvent(event);
  for (const auto& browser : s.browsers) {
    if (browser->hwnd() == hwnd && isOpen(browser)) browser->setCustomEvent(event);
  }
}

void WindowRegistry::deliver(const PageEvent& event, const EventScope& scope) const {
  const std::optional<PageEventRoute> route = pageEventRoute(event.name());
  if (!route) {
    NBLOG_ERROR("no page event is named {}", event.name());
    return;
  }
  const Snapshot s = snapshot();
  switch (route->target) {
    case EventTarget::All:
      sendToAll(event);
      return;
    case EventTarget::Main:
      if (!s.main) return;
      if (route->posted) {
        platform::MainThread::post([main = s.main, event] { main->setCustomEvent(event); });
      } else {
        s.main->setCustomEvent(event);
      }
      return;
    case EventTarget::SignIn:
      if (s.login && isOpen(s.login)) s.login->setCustomEvent(event);
      return;
    case EventTarget::Named:
      for (const auto& browser : s.browsers) {
        if (isOpen(browser) && (scope.title.empty() || browser->strTitle() == scope.title)) {
          browser->setCustomEvent(event);
        }
      }
      if (s.main && (scope.title.empty() || scope.title == "launchpad")) s.main->setCustomEvent(event);
      if (s.login && isOpen(s.login) && (scope.title.empty() || scope.title == "login")) {
        s.login->setCustomEvent(event);
      }
      return;
    case EventTarget::FileWindows: {
      if (!scope.mountId) {
        sendToAll(event);
        return;
      }
      const auto windows = scope.webpath ? checkCurrent(*scope.mountId, *scope.webpath)
                                         : checkCurrent(*scope.mountId);
      for (const auto& window : windows) window->setCustomEvent(event);
      return;
    }
    case EventTarget::Window:
      sendToWindow(event, scope.hwnd);
      return;
    case EventTarget::UpdateWindow:
      if (s.update && isOpen(s.update)) s.update->setCustomEvent(event);
      return;
  }
}

void WindowRegistry::onMenuQuitAppClicked(const QuitState& state,
                                          const std::function<void()>& quit) {
  const Snapshot s = snapshot();
  const std::shared_ptr<WebWindowController> asked =
      state.bLogin ? std::shared_ptr<WebWindowController>(s.main)
                   : std::shared_ptr<WebWindowController>(s.login);
  if (!asked || asked->window()->isClosed()) {
    bOut_ = true;
    if (quit) quit();
    return;
  }
  std::string message;
  int quitFlag = 1;
  if (!state.bLogin) {
    message = Util::localizedStringForKey("是否确定退出?");
  } else if (state.bNBNoteNeedSave) {
    message = Util::localizedStringForKey("有NubrenNote文件未保存，是否确定退出?");
    quitFlag = 0;
  } else if (state.nAllTransCount > 0) {
    const std::string format = Util::localizedStringForKey("还有%ld个文件正在处理，是否退出?");
    message = format;
    if (const auto at = message.find("%ld"); at != std::string::npos) {
      message.replace(at, 3, std::to_string(state.nAllTransCount));
    }
  } else {
    message = Util::localizedStringForKey("是否确定退出?");
  }
  if (state.bLogin) s.main->showWindow();
  if (auto event = PageEvent::make(
          "QuitNotice", JsonValue::object({{"message", message}, {"quit", quitFlag}}))) {
    asked->setCustomEvent(*event);
  }
}

void WindowRegistry::windowClosed(const std::shared_ptr<WebWindowController>& controller) {
  if (bOut_ || !controller) return;
  std::lock_guard lock(mutex_);
  if (about_ == controller) about_.reset();
  std::erase_if(browsers_, [&](const auto& browser) { return browser == controller; });
}

}  // namespace nb::bridge
