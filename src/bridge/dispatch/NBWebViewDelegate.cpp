#include "bridge/dispatch/NBWebViewDelegate.h"

#include <cstdio>
#include <exception>
#include <random>

#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/NoteEditorPageFunctions.h"
#include "bridge/dispatch/jsFunction.h"
#include "bridge/functions/TransferEngine.h"
#include "bridge/script/ClientScript.h"
#include "bridge/script/PageFunctions.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilStatus.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/windows/BrowserWebWindowController.h"

namespace nb::bridge {

namespace {

std::string randomToken() {
  std::random_device device;
  std::string token;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(device()));
    token += part;
  }
  return token;
}

// A callback id as the page script makes them: letters, digits and "_".
bool isCallbackId(std::string_view id) {
  if (id.empty() || id.size() > 64) return false;
  for (char c : id) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '_';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::shared_ptr<NBWebViewDelegate> NBWebViewDelegate::install(
    const std::shared_ptr<WebWindowController>& controller, TrustedOrigins origins) {
  auto bridge = std::make_shared<NBWebViewDelegate>(controller, std::move(origins));
  ui::WebWindow& window = *controller->window();
  window.addUserScript(clientScript(bridge->token_), bridge->origins_.urlPatterns());
  window.addMessageHandler(std::string(kMessageHandler),
                           [bridge](const std::string& body, const std::string& pageUri) {
                             bridge->onMessage(body, pageUri);
                           });
  std::weak_ptr<NBWebViewDelegate> weak = bridge;
  WebWindowController::PageObserver observer;
  observer.titleChanged = [weak](const std::string& title) {
    if (auto self = weak.lock()) self->titleReceived(title);
  };
  observer.loadFinished = [weak] {
    if (auto self = weak.lock()) self->loadFinished();
  };
  observer.scriptDialog = [weak](ui::ScriptDialogKind kind, const std::string& message) {
    auto self = weak.lock();
    return self && self->runScriptDialog(kind, message);
  };
  controller->setPageObserver(std::move(observer));
  if (auto browser = std::dynamic_pointer_cast<nb::BrowserWebWindowController>(controller)) {
    browser->setClosingHook([weak] {
      auto self = weak.lock();
      if (!self) return;
      self->setBWindowsCloes(true);
      // One sink per direction for the whole process: the page that took
      // them goes with its window.
      if (self->bTransWeb()) clearProgressSinks();
    });
  }
  return bridge;
}

NBWebViewDelegate::NBWebViewDelegate(const std::shared_ptr<WebWindowController>& controller,
                                     TrustedOrigins origins)
    : controller_(controller), origins_(std::move(origins)), token_(randomToken()) {}

bool NBWebViewDelegate::checkLogin() { return Util::getAppDelegate()->bLoginFinish(); }

std::optional<NBWebViewDelegate::Message> NBWebViewDelegate::parse(const std::string& body) const {
  const std::optional<JsonValue> root = dictionaryFromString(body);
  if (!root || !root->isObject()) return std::nullopt;
  const JsonValue& token = (*root)["token"];
  if (!token.isString() || token.asString() != token_) return std::nullopt;
  const JsonValue& name = (*root)["fn"];
  if (!name.isString()) return std::nullopt;
  const PageFunction* function = findPageFunction(name.asString());
  if (!function) return std::nullopt;
  Message message;
  message.call.name = std::string(function->name);
  const JsonValue& args = (*root)["args"];
  const std::size_t texts = argumentCount(function->shape) - (hasCallback(function->shape) ? 1 : 0);
  for (std::size_t i = 0; i < texts; ++i) {
    const JsonValue& arg = args.isArray() && i < args.size() ? args[i] : JsonValue::null();
    message.call.args.push_back(arg.isString() ? std::optional<std::string>(arg.asString())
                                               : std::nullopt);
  }
  const JsonValue& cb = (*root)["cb"];
  if (hasCallback(function->shape) && cb.isString() && isCallbackId(cb.asString())) {
    message.callbackId = std::string(cb.asString());
  }
  message.call.callbackId = message.callbackId;
  return message;
}

void NBWebViewDelegate::onMessage(const std::string& body, const std::string& pageUri) {
  if (!origins_.trusts(pageUri)) {
    NBLOG_WARN("page call from an untrusted page dropped: {}", pageUri);
    return;
  }
  const std::shared_ptr<WebWindowController> controller = controller_.lock();
  if (!controller || !origins_.trusts(controller->window()->currentUri())) return;
  std::optional<Message> message = parse(body);
  if (!message) {
    NBLOG_WARN("malformed page call dropped");
    return;
  }
  message->call.bridge = weak_from_this();
  const PageFunction* function = findPageFunction(message->call.name);
  if (function->thread == Thread::Main) {
    runOnMain(*message, hasCallback(function->shape));
  } else {
    queue(std::move(*message));
  }
}

void NBWebViewDelegate::runOnMain(const Message& message, bool withCallback) {
  const std::shared_ptr<WebWindowController> controller = controller_.lock();
  if (!controller) return;
  std::optional<std::string> text;
  try {
    text = pageHandler(message.call.name)(message.call, *controller);
  } catch (const std::exception& e) {
    NBLOG_ERROR("exception: {} ", e.what());
    return;
  }
  if (!withCallback || !text) return;
  answer(message.callbackId, text->empty() ? Util::errorInfoWithCode(Util::kStatusOk) : *text);
}

void NBWebViewDelegate::queue(Message message) {
  const std::string& name = message.call.name;
  const std::shared_ptr<WebWindowController> controller = controller_.lock();
  if (!controller) return;
  if (name == "gSaveAs" && controller->window()->kind() == ui::WindowKind::SignIn) return;
  if (name == "gEditorSave") {
    if (!checkLogin()) return;
    noteSaveQueued(message.call);
  }
  jsFunction::sharedInstance().addOperation(std::move(message.call),
                                            std::move(message.callbackId), weak_from_this(),
                                            controller_);
}

void NBWebViewDelegate::answer(const std::optional<std::string>& callbackId,
                               const std::string& text) {
  if (!callbackId) return;
  const std::optional<std::string> argument =
      JSONString(JsonValue::object({{"id", *callbackId}, {"answer", text}}));
  if (!argument) return;
  platform::MainThread::post([weak = controller_, argument = *argument] {
    const std::shared_ptr<WebWindowController> controller = weak.lock();
    if (!controller || controller->window()->isClosed()) return;
    controller->window()->callFunction(std::string(kResolveFunctionBody), argument);
  });
}

}  // namespace nb::bridge
