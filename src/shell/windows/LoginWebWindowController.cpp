#include "shell/windows/LoginWebWindowController.h"

#include <cstdlib>

#include "foundation/json/JsonValue.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "shell/alerts/NBAlert.h"
#include "shell/ui/BundleImage.h"
#include "shell/ui/Ui.h"
#include "shell/windows/WindowPages.h"

namespace nb {

namespace {

void exitAtOnce(int status) {
  NBLOG_INFO("the sign-in window was closed: the client ends");
  std::quick_exit(status);
}

}  // namespace

std::shared_ptr<LoginWebWindowController> LoginWebWindowController::create(
    ui::Ui& ui, const std::string& uiFolder, ExitProcess exitProcess,
    const BeforeFirstLoad& beforeLoad) {
  auto window = ui.makeWebWindow(webWindowOptions(ui::WindowKind::SignIn));
  auto controller =
      std::make_shared<LoginWebWindowController>(std::move(window), std::move(exitProcess));
  controller->setStrUrl(uiPageUrl(uiFolder, "#/login"));
  if (beforeLoad) beforeLoad(controller);
  controller->connect();
  controller->reload(false);
  return controller;
}

LoginWebWindowController::LoginWebWindowController(std::shared_ptr<ui::WebWindow> window,
                                                   ExitProcess exitProcess)
    : WebWindowController(std::move(window)),
      exitProcess_(exitProcess ? std::move(exitProcess) : ExitProcess(exitAtOnce)) {}

void LoginWebWindowController::onJudgeDealArray() {
  if (!infoArray_) return;
  const std::vector<std::string> list = std::exchange(infoArray_, std::nullopt).value();
  returnLoginResult(list);
}

void LoginWebWindowController::returnLoginResult(const std::vector<std::string>& list) {
  const auto item = [&list](std::size_t i) { return i < list.size() ? list[i] : std::string(); };
  const JsonValue result = JsonValue::object(
      {{"type", item(0)}, {"error", item(1)}, {"error_description", item(2)}, {"token", item(3)}});
  if (auto event = PageEvent::make("LoginResult", result)) setCustomEvent(*event);
}

bool LoginWebWindowController::windowShouldClose() {
  NBAlert::Content content;
  content.message = Util::localizedStringForKey("温馨提示");
  content.informative = Util::localizedStringForKey("是否确定退出?");
  content.iconPath = ui::bundleImagePath("prompt");
  const int code = NBAlert::runModalSheetForWindow(
      window(), content,
      {Util::localizedStringForKey("确定"), Util::localizedStringForKey("取消")});
  return code == NBAlert::kFirstButtonReturn;
}

void LoginWebWindowController::windowClosed(bool wasVisible) {
  if (wasVisible) {
    exitProcess_(0);
    return;
  }
  WebWindowController::windowClosed(wasVisible);
}

}  // namespace nb
