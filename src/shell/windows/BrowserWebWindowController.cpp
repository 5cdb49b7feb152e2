#include "shell/windows/BrowserWebWindowController.h"

#include "shell/ui/Ui.h"
#include "shell/windows/WindowPages.h"
#include "shell/windows/WindowRelay.h"

namespace nb {

std::shared_ptr<BrowserWebWindowController> BrowserWebWindowController::create(ui::Ui& ui,
                                                                               std::string solestr,
                                                                               std::string strKey) {
  auto window = ui.makeWebWindow(webWindowOptions(ui::WindowKind::Browser));
  auto controller = std::make_shared<BrowserWebWindowController>(
      std::move(window), std::move(solestr), std::move(strKey));
  controller->connect();
  return controller;
}

BrowserWebWindowController::BrowserWebWindowController(std::shared_ptr<ui::WebWindow> window,
                                                       std::string solestr, std::string strKey)
    : WebWindowController(std::move(window)),
      solestr_(std::move(solestr)),
      strKey_(std::move(strKey)) {}

void BrowserWebWindowController::adjustframe(const ui::Size& size) {
  if (bAdjusted_) return;
  bAdjusted_ = true;
  if (window()->isFullScreen()) return;
  const ui::Size chosen = size.width != 0 && size.height != 0 ? size : kDefaultSize;
  ui::Rect frame = window()->frame();
  frame.width = chosen.width;
  frame.height = chosen.height;
  window()->setFrame(frame);
  window()->center();
}

void BrowserWebWindowController::windowClosed(bool wasVisible) {
  if (closingHook_) std::exchange(closingHook_, nullptr)();
  if (auto relay = currentWindowRelay("closed browser window")) {
    relay->closeWindowsForLaunchpad(hwnd());
  }
  if (bStopModel_) window()->stopModal();
  WebWindowController::windowClosed(wasVisible);
}

}  // namespace nb
