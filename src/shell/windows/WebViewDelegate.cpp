#include "shell/windows/WebViewDelegate.h"

#include <glib.h>

#include <vector>

#include "api/server/ServerInfo.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilUrl.h"
#include "platform/GObjectPtr.h"
#include "platform/Log.h"
#include "shell/ui/Ui.h"
#include "shell/windows/WindowController.h"

namespace nb {

namespace {

std::string newToken() {
  platform::GCharPtr uuid(g_uuid_string_random());
  return uuid.get();
}

std::string jsonString(const std::string& text) {
  return JSONString(JsonValue(text)).value_or("\"\"");
}

// The web host's "scheme://host" in both schemes; none without a host.
std::vector<std::string> webHostPrefixes() {
  const std::string host = ServerInfo::current()->strWebHost();
  if (host.empty()) return {};
  std::vector<std::string> prefixes;
  for (const bool https : {false, true}) {
    GUri* uri = g_uri_parse(Util::getDealWithHttpsOrHttpUrl(host, https).c_str(), G_URI_FLAGS_NONE,
                            nullptr);
    if (!uri) continue;
    if (const char* name = g_uri_get_host(uri); name && *name) {
      prefixes.push_back(std::string(https ? "https://" : "http://") + name);
    }
    g_uri_unref(uri);
  }
  return prefixes;
}

std::string folderUriPrefix(const std::string& folder) {
  if (folder.empty()) return {};
  platform::GCharPtr uri(g_filename_to_uri(folder.c_str(), nullptr, nullptr));
  return uri ? std::string(uri.get()) + "/" : std::string();
}

}  // namespace

ui::Rect movedFrame(const ui::Rect& frame, double x, double y, double screenHeight) {
  return {x, screenHeight - y - frame.height, frame.width, frame.height};
}

ui::Rect resizedFrame(const ui::Rect& frame, double width, double height) {
  return {frame.x, frame.y + frame.height - height, width, height};
}

WebViewDelegate::WebViewDelegate(ui::Ui& ui, std::shared_ptr<ui::WebWindow> webView,
                                 std::string resourceFolder)
    : ui_(ui), webView_(webView), resourceFolder_(std::move(resourceFolder)), token_(newToken()) {}

std::string WebViewDelegate::gSiteDomain() {
  return Util::getDealWithHttpsOrHttpUrl(ServerInfo::current()->strWebHost());
}

void WebViewDelegate::install() {
  auto view = webView_.lock();
  if (!view) return;
  // The answer of gSiteDomain is fixed when the page loads; everything the
  // page hands over travels as JSON text, never as script.
  const std::string script =
      "(function () {"
      "  var token = " + jsonString(token_) + ";"
      "  var site = " + jsonString(gSiteDomain()) + ";"
      "  var handler = window.webkit.messageHandlers." + kMessageHandler + ";"
      "  function send(fn, arg) {"
      "    handler.postMessage(JSON.stringify({fn: fn, arg: arg === undefined ? null : arg,"
      "                                        token: token}));"
      "  }"
      "  var win = Object.freeze({"
      "    open: function (a) { send('open', a); },"
      "    move: function (a) { send('move', a); },"
      "    resize: function (a) { send('resize', a); }"
      "  });"
      "  Object.defineProperty(window, 'nbClient', {"
      "    value: Object.freeze({ gSiteDomain: function () { return site; }, window: win }),"
      "    writable: false, configurable: false });"
      "})();";
  std::vector<std::string> origins;
  if (const std::string folder = folderUriPrefix(resourceFolder_); !folder.empty()) {
    origins.push_back(folder + "*");
  }
  for (const std::string& prefix : webHostPrefixes()) origins.push_back(prefix + "/*");
  view->addUserScript(script, origins);
  view->addMessageHandler(kMessageHandler,
                          [this](const std::string& body, const std::string& pageUri) {
                            onMessage(body, pageUri);
                          });
}

bool WebViewDelegate::trusted(const std::string& pageUri) const {
  if (const std::string folder = folderUriPrefix(resourceFolder_);
      !folder.empty() && pageUri.starts_with(folder)) {
    return true;
  }
  for (const std::string& prefix : webHostPrefixes()) {
    if (pageUri == prefix || pageUri.starts_with(prefix + "/")) return true;
  }
  return false;
}

void WebViewDelegate::onMessage(const std::string& body, const std::string& pageUri) {
  const auto message = dictionaryFromString(body);
  if (!message || !message->isObject() || jsonTextOrEmpty(*message, "token") != token_ ||
      !trusted(pageUri)) {
    NBLOG_WARN("dropped a plain window message from {}", pageUri);
    return;
  }
  const std::string fn = jsonTextOrEmpty(*message, "fn");
  const JsonValue* arg = message->find("arg");
  const JsonValue args = arg && arg->isObject() ? *arg : JsonValue::object({});
  if (fn == "open") {
    open(args);
  } else if (fn == "move") {
    move(args);
  } else if (fn == "resize") {
    resize(args);
  }
}

void WebViewDelegate::open(const JsonValue& args) {
  auto controller =
      WindowController::initWithURL(ui_, jsonTextOrEmpty(args, "url"), resourceFolder_);
  if (!controller) return;
  windowController_ = controller;
  controller->showWindow();
}

void WebViewDelegate::move(const JsonValue& args) {
  auto view = webView_.lock();
  const JsonValue* x = args.find("x");
  const JsonValue* y = args.find("y");
  if (!view || !x || !y || !x->isNumber() || !y->isNumber()) return;
  const ui::Rect screen = view->screenArea();
  view->setFrame(movedFrame(view->frame(), x->asDouble(), y->asDouble(), screen.y + screen.height));
}

void WebViewDelegate::resize(const JsonValue& args) {
  auto view = webView_.lock();
  const JsonValue* width = args.find("width");
  const JsonValue* height = args.find("height");
  if (!view || !width || !height || !width->isNumber() || !height->isNumber()) return;
  view->setFrame(resizedFrame(view->frame(), width->asDouble(), height->asDouble()));
}

bool WebViewDelegate::runScriptDialog(ui::ScriptDialogKind kind, const std::string& message) {
  ui::WebWindow* parent = windowController_ ? windowController_->window().get() : nullptr;
  if (kind == ui::ScriptDialogKind::Alert) {
    ui::Alert alert{Util::localizedStringForKey("温馨提示"), message, {},
                    ui::AlertStyle::Informational, {Util::localizedStringForKey("我知道了")}};
    ui_.dialogs().showAlert(alert, parent, ui::Modality::Window, [](int) {});
    return true;
  }
  if (kind == ui::ScriptDialogKind::Prompt) return false;
  ui::Alert question{"", message, {}, ui::AlertStyle::Informational,
                     {Util::localizedStringForKey("确定"), Util::localizedStringForKey("取消")}};
  return ui_.dialogs().runAlert(question, parent, ui::Modality::Window) == 0;
}

void WebViewDelegate::createWebViewWithRequest(const std::string& uri) {
  auto controller = WindowController::initWithRequest(ui_, uri, resourceFolder_);
  if (!controller) return;
  requestedWindow_ = controller;
  controller->showWindow();
}

}  // namespace nb
