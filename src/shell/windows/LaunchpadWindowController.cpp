#include "shell/windows/LaunchpadWindowController.h"

#include <algorithm>
#include <utility>

#include "foundation/app/AppState.h"
#include "foundation/json/JsonValue.h"
#include "foundation/util/UtilPanels.h"
#include "shell/ui/Ui.h"
#include "shell/windows/WindowPages.h"

namespace nb {

std::shared_ptr<LaunchpadWindowController> LaunchpadWindowController::create(
    ui::Ui& ui, const std::string& uiFolder, const BeforeFirstLoad& beforeLoad) {
  auto window = ui.makeWebWindow(webWindowOptions(ui::WindowKind::Main));
  auto controller = std::make_shared<LaunchpadWindowController>(std::move(window));
  controller->setStrUrl(uiPageUrl(uiFolder));
  if (beforeLoad) beforeLoad(controller);
  controller->start();
  return controller;
}

LaunchpadWindowController::LaunchpadWindowController(std::shared_ptr<ui::WebWindow> window)
    : WebWindowController(std::move(window)) {}

void LaunchpadWindowController::start() {
  connect();
  reload(false);
  sizeForScreen();
}

void LaunchpadWindowController::sizeForScreen() {
  const ui::Rect screen = window()->screenArea();
  ui::Rect frame = window()->frame();
  frame.width = std::max(kMinimumSize.width, screen.width * 4 / 5);
  frame.height = std::max(kMinimumSize.height, screen.height * 4 / 5);
  window()->setFrame(frame);
}

void LaunchpadWindowController::adjustposition() {
  const ui::Rect screen = window()->screenArea();
  ui::Rect frame = window()->frame();
  // The placement rule is written for a bottom-left origin.
  const Util::WindowOrigin origin =
      Util::getWindowDisplayOriginPoint(frame.width, frame.height, screen.width, screen.height);
  frame.x = screen.x + origin.x;
  frame.y = screen.y + (screen.height - origin.y);
  window()->setFrame(frame);
}

void LaunchpadWindowController::showWindow() {
  bWindowClose_ = false;
  window()->present();
}

void LaunchpadWindowController::pageLoaded() {
  updateTab(std::nullopt);
  updateCurrent();
  updateAction();
}

void LaunchpadWindowController::updateTab(const std::optional<std::string>&) {
  if (!bFirst_) return;
  bFirst_ = false;
  auto app = Util::getAppDelegate();
  if (app->bLinkNetwork()) return;
  if (auto event = PageEvent::make("LinkStatus", JsonValue::object({{"link", 0}}))) {
    app->setAllCustomEvent(*event);
  }
}

void LaunchpadWindowController::setcurrent(const std::string& json) {
  jsonInfo_ = json;
  if (!window()->isLoading()) updateCurrent();
}

void LaunchpadWindowController::setAction(const std::string& json) {
  jsonAction_ = json;
  if (!window()->isLoading()) updateAction();
}

void LaunchpadWindowController::updateCurrent() {
  if (jsonInfo_.empty()) return;
  OpenMountPath(std::exchange(jsonInfo_, {}));
}

void LaunchpadWindowController::updateAction() {
  if (jsonAction_.empty()) return;
  ShowAction(std::exchange(jsonAction_, {}));
}

bool LaunchpadWindowController::windowShouldClose() {
  bWindowClose_ = true;
  if (window()->isFullScreen()) window()->setFullScreen(false);
  window()->hide();
  return false;
}

}  // namespace nb
