// The window side of the page bridge: what a page's title and load change
// in its window, and the opener of browser windows.

#include <exception>

#include "api/server/ServerInfo.h"
#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/windows/WindowRegistry.h"
#include "foundation/app/AppState.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "shell/alerts/NBAlert.h"
#include "shell/ui/BundleImage.h"
#include "platform/MainThread.h"
#include "shell/app/AppDelegate.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "shell/windows/LoginWebWindowController.h"

namespace nb::bridge {

namespace {

void setFinishCallback() {
  if (auto app = std::dynamic_pointer_cast<AppDelegate>(Util::getAppDelegate())) {
    app->setBFinishCallback(true);
  }
}

}  // namespace

// Title bars here are never transparent, so the steps for an opaque title
// bar always run: a sign-in result and the main window's folder and action
// that waited for the page are delivered.
bool NBWebViewDelegate::commonPageSteps(bool fromLoad) {
  if (bWindowsCloes_) return false;
  const std::shared_ptr<WebWindowController> controller = controller_.lock();
  if (!controller) return false;
  const std::string titleName = ServerInfo::current()->strTitleName();
  if (auto login = std::dynamic_pointer_cast<LoginWebWindowController>(controller)) {
    // On load the controller's own load step already delivered it.
    if (!fromLoad && titleName.empty()) login->onJudgeDealArray();
    return true;
  }
  if (auto main = std::dynamic_pointer_cast<LaunchpadWindowController>(controller)) {
    setFinishCallback();
    if (titleName.empty() && !pageTitle_.empty()) main->window()->setTitle(pageTitle_);
    // On load the controller's own load step already refreshed these.
    if (!fromLoad) {
      main->updateTab(std::nullopt);
      main->updateCurrent();
      main->updateAction();
    }
  }
  return true;
}

void NBWebViewDelegate::titleReceived(const std::string& title) {
  try {
    pageTitle_ = title;
    if (!commonPageSteps(false)) return;
    auto browser = std::dynamic_pointer_cast<nb::BrowserWebWindowController>(controller_.lock());
    if (!browser || title == "NubrenVesko" || title == "download") return;
    const std::string own = browser->strTitle();
    browser->window()->setTitle(own.empty() ? title : own);
  } catch (const std::exception& e) {
    NBLOG_DEBUG("title step failed: {}", e.what());
  }
}

void NBWebViewDelegate::loadFinished() {
  try {
    if (!commonPageSteps(true)) return;
    auto browser = std::dynamic_pointer_cast<nb::BrowserWebWindowController>(controller_.lock());
    if (browser && !pageTitle_.empty()) browser->window()->setTitle(pageTitle_);
  } catch (const std::exception& e) {
    NBLOG_DEBUG("load step failed: {}", e.what());
  }
}

bool NBWebViewDelegate::runScriptDialog(ui::ScriptDialogKind kind, const std::string& message) {
  const std::shared_ptr<WebWindowController> controller = controller_.lock();
  if (!controller || kind == ui::ScriptDialogKind::Prompt) return false;
  NBAlert::Content content;
  content.informative = message;
  if (kind == ui::ScriptDialogKind::Alert) {
    content.message = Util::localizedStringForKey("温馨提示");
    content.iconPath = ui::bundleImagePath("config/image/link");
    NBAlert::runModalSheetForWindow(controller->window(), content,
                                    {Util::localizedStringForKey("我知道了")});
    return true;
  }
  content.iconPath = ui::bundleImagePath("prompt");
  const int code = NBAlert::runModalSheetForWindow(
      controller->window(), content,
      {Util::localizedStringForKey("确定"), Util::localizedStringForKey("取消")});
  return code == NBAlert::kFirstButtonReturn;
}

std::shared_ptr<nb::BrowserWebWindowController> NBWebViewDelegate::BrowserWebWindowController(
    ui::Ui& ui, const BrowserWindowRequest& request) {
  const std::shared_ptr<WindowRegistry> registry = currentWindowRegistry("window opener");
  if (!registry) return nullptr;
  auto browser = registry->getBrowserWebWindowController(ui, request.solestr, request.key);
  browser->setStrTitle(request.name);
  browser->setStrUrl(request.url);
  browser->setStrInfo(request.info);
  if (request.resizable) browser->window()->setResizable(true);
  browser->adjustframe({request.width, request.height});
  // A reused window keeps the page it loaded.
  browser->reload(false);
  if (request.solestr == "child") {
    browser->setBStopModel(true);
    std::weak_ptr<nb::BrowserWebWindowController> weak = browser;
    platform::MainThread::post([weak] {
      if (auto window = weak.lock(); window && !window->window()->isClosed()) {
        window->window()->runModal();
      }
    });
  } else {
    browser->window()->present();
  }
  browser->window()->setTitle(browser->strTitle());
  return browser;
}

}  // namespace nb::bridge
