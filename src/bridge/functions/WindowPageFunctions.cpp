// Page functions that manage the calling window and other windows.

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/PageArgs.h"
#include "bridge/functions/WindowAppPageFunctions.h"
#include "bridge/windows/WindowRegistry.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "platform/Log.h"
#include "shell/ui/Ui.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/PageEventText.h"
#include "shell/windows/WebWindowController.h"

namespace nb::bridge {

namespace {

using Answer = std::optional<std::string>;

constexpr const char* kNoWindow = R"({"hwnd":0})";

// A member read as a real number, as the page may send "12" or 12; 0 when
// missing or not a number.
double number(const JsonValue& object, std::string_view key) {
  const JsonValue* value = object.find(key);
  if (value == nullptr) return 0;
  if (value->isNumber()) return value->asDouble();
  if (value->isString()) return std::strtod(std::string(value->asString()).c_str(), nullptr);
  return 0;
}

std::string text(const JsonValue& object, std::string_view key) {
  const JsonValue* value = object.find(key);
  return value != nullptr && value->isString() ? std::string(value->asString()) : std::string();
}

bool isSignInWindow(const WebWindowController& window) {
  return window.window()->kind() == ui::WindowKind::SignIn;
}

void deliverText(const char* name, const std::string& message) {
  const std::optional<PageEvent> event = pageEventFromText(name, message);
  if (!event) return;
  if (auto registry = currentWindowRegistry(name)) registry->deliver(*event);
}

Answer gMain(const PageCall& call, WebWindowController&) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return kNoWindow;
  const std::shared_ptr<ui::Ui> ui = ui::currentUi("gMain");
  if (!ui) return kNoWindow;
  NBWebViewDelegate::BrowserWindowRequest request;
  request.url = text(*args, "url");
  request.resizable = jsonFlag(*args, "resize");
  request.solestr = text(*args, "type");
  request.width = static_cast<double>(jsonInt64(*args, "width"));
  request.height = static_cast<double>(jsonInt64(*args, "height"));
  request.showtitle = jsonInt64(*args, "showtitlebar");
  request.name = text(*args, "name");
  request.info = text(*args, "info");
  const std::string key = text(*args, "key");
  request.key = key.empty() ? request.name : key;
  const auto window = NBWebViewDelegate::BrowserWebWindowController(*ui, request);
  const std::string answer = fmt::format("{{\"hwnd\":{}}}", window ? window->hwnd() : 0);
  NBLOG_DEBUG("gMain {},{}", call.json(), answer);
  return answer;
}

Answer gVideoPlayer(const PageCall& call, WebWindowController&) {
  NBLOG_DEBUG("gVideoPlayer {}", call.json());
  const std::optional<JsonValue> args = pageObject(call);
  const std::shared_ptr<ui::Ui> ui = args ? ui::currentUi("gVideoPlayer") : nullptr;
  if (!ui) return std::nullopt;
  NBWebViewDelegate::BrowserWindowRequest request;
  request.url = text(*args, "url");
  request.resizable = jsonFlag(*args, "resize");
  request.solestr = "VideoPlayer";
  request.width = static_cast<double>(jsonInt64(*args, "width"));
  request.height = static_cast<double>(jsonInt64(*args, "height"));
  request.showtitle = jsonInt64(*args, "showtitlebar");
  NBWebViewDelegate::BrowserWebWindowController(*ui, request);
  return std::nullopt;
}

Answer gLaunchpad(const PageCall& call, WebWindowController&) {
  if (!NBWebViewDelegate::checkLogin()) return std::nullopt;
  const std::optional<JsonValue> args = pageObject(call);
  Util::getAppDelegate()->showLaunchpadForTab(args ? text(*args, "type") : std::string());
  return std::nullopt;
}

Answer gClose(const PageCall&, WebWindowController& window) {
  // Closing the sign-in window would end the process.
  if (!isSignInWindow(window)) window.window()->requestClose();
  return std::nullopt;
}

Answer gSetForegroundWindow(const PageCall&, WebWindowController& window) {
  window.window()->present();
  return std::nullopt;
}

Answer gSetFullWindow(const PageCall&, WebWindowController& window) {
  window.window()->setFullScreen(!window.window()->isFullScreen());
  return std::nullopt;
}

Answer gIsFullWindow(const PageCall&, WebWindowController& window) {
  const std::string answer = window.window()->isFullScreen() ? "1" : "0";
  NBLOG_DEBUG("gIsFullWindow {}", answer);
  return answer;
}

Answer gGetWindowRect(const PageCall&, WebWindowController& window) {
  const ui::Rect frame = window.window()->isClosed() ? ui::Rect{} : window.window()->frame();
  const Answer answer = pageAnswer(JsonValue::object(
      {{"x", frame.x}, {"y", frame.y}, {"cx", frame.width}, {"cy", frame.height}}));
  NBLOG_DEBUG("gGetWindowRect {}", *answer);
  return answer;
}

Answer gSetWindowRect(const PageCall& call, WebWindowController& window) {
  NBLOG_DEBUG("gSetWindowRect {}", call.json());
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return std::nullopt;
  // A frame without a size would leave a window nobody can see or grab.
  const ui::Size least = window.window()->minSize();
  const double width = std::max({number(*args, "cx"), least.width, 1.0});
  const double height = std::max({number(*args, "cy"), least.height, 1.0});
  window.window()->setFrame({number(*args, "x"), number(*args, "y"), width, height});
  return std::nullopt;
}

Answer gGetWindowSetting(const PageCall&, WebWindowController& window) {
  Answer answer;
  if (isSignInWindow(window)) {
    answer = R"({"setting":"regist"})";
  } else {
    const std::string info = window.strInfo();
    answer = info.empty() ? std::string("{}") : pageAnswer(JsonValue::object({{"setting", info}}));
  }
  NBLOG_DEBUG("gGetWindowSetting {}", *answer);
  return answer;
}

Answer gSetCurrentPath(const PageCall& call, WebWindowController& window) {
  NBLOG_DEBUG("gSetCurrentPath {}", call.json());
  window.setJsonString(call.json());
  return std::nullopt;
}

Answer gSetMessageToLaunchpad(const PageCall& call, WebWindowController&) {
  NBLOG_DEBUG("gSetMessageToLaunchpad {}", call.json());
  deliverText("gReceiveMessage", call.json());
  return std::nullopt;
}

Answer gPostMessage(const PageCall& call, WebWindowController&) {
  NBLOG_DEBUG("gPostMessage {},{}", call.arg(0), call.arg(1));
  if (auto registry = currentWindowRegistry("gPostMessage")) {
    registry->PostMessage(call.arg(0), call.arg(1));
  }
  return std::nullopt;
}

Answer gOpenMountPath(const PageCall& call, WebWindowController&) {
  NBLOG_DEBUG("gOpenMountPath {}", call.json());
  deliverText("OpenMountPath", call.json());
  return std::nullopt;
}

}  // namespace

void registerWindowPageFunctions() {
  setPageHandler("gMain", gMain);
  setPageHandler("gVideoPlayer", gVideoPlayer);
  setPageHandler("gLaunchpad", gLaunchpad);
  setPageHandler("gClose", gClose);
  setPageHandler("gSetForegroundWindow", gSetForegroundWindow);
  setPageHandler("gSetFullWindow", gSetFullWindow);
  setPageHandler("gIsFullWindow", gIsFullWindow);
  setPageHandler("gGetWindowRect", gGetWindowRect);
  setPageHandler("gSetWindowRect", gSetWindowRect);
  setPageHandler("gGetWindowSetting", gGetWindowSetting);
  setPageHandler("gSetCurrentPath", gSetCurrentPath);
  setPageHandler("gSetMessageToLaunchpad", gSetMessageToLaunchpad);
  setPageHandler("gPostMessage", gPostMessage);
  setPageHandler("gOpenMountPath", gOpenMountPath);
}

}  // namespace nb::bridge
