#include "bridge/windows/WindowRegistry.h"

#include <algorithm>

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "foundation/json/JsonValue.h"
#include "platform/Log.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "shell/windows/LoginWebWindowController.h"

namespace nb::bridge {

namespace {

bool isOpen(const std::shared_ptr<WebWindowController>& window) {
  return window && !window->window()->isClosed();
}

}  // namespace

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

std::vector<std::shared_ptr<BrowserWebWindowController>> WindowRegistry::browserWindows() const {
  std::lock_guard lock(mutex_);
  return browsers_;
}

WindowRegistry::Snapshot WindowRegistry::snapshot() const {
  std::lock_guard lock(mutex_);
  return {main_, login_, browsers_};
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

void WindowRegistry::setAllCustomEvent(const PageEvent& event) const {
  const Snapshot s = snapshot();
  if (s.main) s.main->setCustomEvent(event);
  if (s.login && event.name() == "gCheckUpdate" && isOpen(s.login)) s.login->setCustomEvent(event);
  for (const auto& browser : s.browsers) {
    if (isOpen(browser) && browser->nCurrentMountID() != 0) browser->setCustomEvent(event);
  }
}

void WindowRegistry::PostMessage(const std::string& message, const std::string& title) const {
  const Snapshot s = snapshot();
  for (const auto& browser : s.browsers) {
    if (isOpen(browser) && (title.empty() || browser->strTitle() == title)) {
      browser->setCustomEvent("PostMessage", message);
    }
  }
  if (s.main && (title.empty() || title == "launchpad")) {
    s.main->setCustomEvent("PostMessage", message);
  }
  if (s.login && isOpen(s.login) && (title.empty() || title == "login")) {
    s.login->setCustomEvent("PostMessage", message);
  }
}

void WindowRegistry::gCloseCurrentPath(const std::string& json) {
  if (auto main = mainWindow()) main->gCloseCurrentPath(json);
}

void WindowRegistry::closeWindowsForLaunchpad(std::int64_t hwnd) {
  if (!mainWindow()) return;
  if (auto event = PageEvent::make("gCloseWindow", JsonValue::object({{"hwnd", hwnd}}))) {
    setAllCustomEvent(*event);
  }
}

void WindowRegistry::windowClosed(const std::shared_ptr<WebWindowController>& controller) {
  if (bOut_ || !controller) return;
  std::lock_guard lock(mutex_);
  if (about_ == controller) about_.reset();
  std::erase_if(browsers_, [&](const auto& browser) { return browser == controller; });
}

}  // namespace nb::bridge
