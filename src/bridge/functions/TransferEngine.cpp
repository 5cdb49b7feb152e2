#include "bridge/functions/TransferEngine.h"

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "foundation/app/AppState.h"
#include "platform/Log.h"
#include "shell/app/AppDelegate.h"

namespace nb::bridge {

std::shared_ptr<transfer::Network> transferEngine() {
  auto engine = std::dynamic_pointer_cast<transfer::Network>(nb::Network::shareNetwork());
  if (!engine) NBLOG_ERROR("no transfer engine is registered for the pages");
  return engine;
}

transfer::CallbackThread::Sink pageProgressSink(std::weak_ptr<NBWebViewDelegate> bridge,
                                                std::string callbackId) {
  return [bridge = std::move(bridge), id = std::optional<std::string>(std::move(callbackId))](
             const std::string& json) {
    if (auto page = bridge.lock()) page->answer(id, json);
  };
}

void registerPagesReadyForProgress() {
  transfer::CallbackThread::setPagesReady([] {
    const auto app = std::dynamic_pointer_cast<AppDelegate>(Util::getAppDelegate());
    return app && app->bFinishCallback();
  });
}

void clearProgressSinks() {
  if (auto engine = transferEngine()) {
    engine->dCallback().SetCallbackStatus({});
    engine->uCallback().SetCallbackStatus({});
  }
}

}  // namespace nb::bridge
