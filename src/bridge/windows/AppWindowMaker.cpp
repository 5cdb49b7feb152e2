#include "bridge/windows/AppWindowMaker.h"

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/windows/WindowRegistry.h"
#include "shell/ui/Ui.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "shell/windows/LoginWebWindowController.h"
#include "shell/windows/WindowPages.h"

namespace nb::bridge {

namespace {

void installBridge(const std::shared_ptr<WebWindowController>& controller) {
  NBWebViewDelegate::install(controller, TrustedOrigins::current());
}

}  // namespace

std::shared_ptr<AppWindowMaker> AppWindowMaker::start() {
  auto maker = std::make_shared<AppWindowMaker>();
  setAppWindows(maker);
  return maker;
}

std::shared_ptr<LoginWebWindowController> AppWindowMaker::loginWindow(bool create) {
  auto registry = currentWindowRegistry("sign-in window");
  if (!registry) return nullptr;
  auto login = registry->loginWindow();
  if (login && !login->window()->isClosed()) return login;
  if (!create) return nullptr;
  auto ui = ui::currentUi("sign-in window");
  if (!ui) return nullptr;
  login = LoginWebWindowController::create(*ui, uiFolder(), nullptr, installBridge);
  registry->setLoginWindow(login);
  return login;
}

std::shared_ptr<LaunchpadWindowController> AppWindowMaker::mainWindow(bool create) {
  auto registry = currentWindowRegistry("main window");
  if (!registry) return nullptr;
  auto main = registry->mainWindow();
  if (main || !create) return main;
  auto ui = ui::currentUi("main window");
  if (!ui) return nullptr;
  main = LaunchpadWindowController::create(*ui, uiFolder(), installBridge);
  registry->setMainWindow(main);
  return main;
}

std::vector<std::shared_ptr<BrowserWebWindowController>> AppWindowMaker::browserWindows() {
  auto registry = currentWindowRegistry("browser windows");
  return registry ? registry->browserWindows()
                  : std::vector<std::shared_ptr<BrowserWebWindowController>>{};
}

void AppWindowMaker::askQuit(bool bLogin, bool bNBNoteNeedSave, std::int64_t nAllTransCount,
                             const std::function<void()>& quit) {
  auto registry = currentWindowRegistry("quit question");
  if (!registry) {
    if (quit) quit();
    return;
  }
  registry->onMenuQuitAppClicked({bLogin, bNBNoteNeedSave, nAllTransCount}, quit);
}

}  // namespace nb::bridge
