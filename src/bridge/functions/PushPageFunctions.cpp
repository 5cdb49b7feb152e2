#include "bridge/functions/PushPageFunctions.h"

#include <memory>
#include <optional>
#include <string>

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/PageArgs.h"
#include "bridge/push/BaseController.h"
#include "bridge/push/SocketAction.h"
#include "bridge/push/SocketParseActions.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/app/AppDelegate.h"
#include "sync/centre/SyncCenter.h"
#include "sync/operations/DialogAction.h"

namespace nb::bridge {

namespace {

using Answer = std::optional<std::string>;
using Relay = std::string (*)(const std::string&, const std::string&, BaseController*);

// A single message may answer after the call returned (the account re-read);
// the page then hears back through its callback.
Answer relay(const PageCall& call, WebWindowController& window, Relay run, bool mayDefer) {
  BaseController::Answer later;
  if (mayDefer) {
    later = [bridge = call.bridge, id = call.callbackId, json = call.arg(0),
             event = call.arg(1)](const std::string& text) {
      NBLOG_DEBUG("{},event:{},ret:{}", json, event, text);
      if (const auto page = bridge.lock()) page->answer(id, text);
    };
  }
  BaseController controller(window, std::move(later));
  std::string answer = run(call.arg(0), call.arg(1), &controller);
  if (controller.deferred()) return std::nullopt;
  NBLOG_DEBUG("{},event:{},ret:{}", call.arg(0), call.arg(1), answer);
  return answer;
}

Answer gDialogAction(const PageCall& call, WebWindowController& window) {
  const JsonValue cmd = call.args.size() > 0 && call.args[0] ? JsonValue(*call.args[0]) : JsonValue();
  const JsonValue json = call.args.size() > 1 && call.args[1] ? JsonValue(*call.args[1]) : JsonValue();
  BaseController controller(window, {});
  std::string answer = dialogAction(cmd, json, &controller);
  NBLOG_DEBUG("{},cmd:{},ret:{}", call.arg(1), call.arg(0), answer);
  return answer;
}

void gShowMessageNotice(const PageCall& call) {
  const std::string description = call.arg(0);
  const std::optional<std::string> context =
      call.args.size() > 1 ? call.args[1] : std::optional<std::string>();
  NBLOG_DEBUG("{},{}", context.value_or(""), description);
  const std::shared_ptr<AppState> state = Util::getAppDelegate();
  if (state->bPromptMessage()) state->setGrowlNotificationDescripation(description, context);
  const auto app = std::dynamic_pointer_cast<AppDelegate>(state);
  if (!app) {
    NBLOG_ERROR("no application delegate is registered: no message sound");
    return;
  }
  if (app->bMessageSound()) app->playSoundWithKey("msg");
}

void gCompareNotifyStatus(const PageCall& call) {
  NBLOG_DEBUG("{}", call.json());
  if (const std::optional<JsonValue> args = pageObject(call)) {
    SyncCenter::shareSyncCenter().setBSocketIO(jsonInt64(*args, "status") >= 1);
  }
}

}  // namespace

void registerPushPageFunctions() {
  SocketParseActions::registerShared();
  setPageHandler("gSocketAction", [](const PageCall& c, WebWindowController& w) {
    return relay(c, w, &SocketAction::action, true);
  });
  setPageHandler("gSocketActionList", [](const PageCall& c, WebWindowController& w) {
    return relay(c, w, &SocketAction::actionList, false);
  });
  setPageHandler("gDialogAction", gDialogAction);
  setPageBody("gShowMessageNotice", [](const PageCall& c) {
    gShowMessageNotice(c);
    return Answer();
  });
  setPageBody("gSetMessageCount", [](const PageCall& c) {
    NBLOG_DEBUG("{}", c.json());
    platform::MainThread::post([text = c.json()] { Util::getAppDelegate()->gSetMessageCount(text); });
    return Answer();
  });
  setPageBody("gCompareNotify", [](const PageCall& c) {
    NBLOG_DEBUG("{}", c.json());
    SyncCenter::shareSyncCenter().comparenotify(c.json());
    return Answer();
  });
  setPageBody("gCompareNotifyStatus", [](const PageCall& c) {
    gCompareNotifyStatus(c);
    return Answer();
  });
}

}  // namespace nb::bridge
