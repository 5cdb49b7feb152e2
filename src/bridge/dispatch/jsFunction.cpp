#include "bridge/dispatch/jsFunction.h"

#include <exception>

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "platform/Log.h"
#include "shell/windows/WebWindowController.h"

namespace nb::bridge {

namespace {

// Sign-in calls carry the password in and the access token out: their
// texts never go to the log.
std::string loggable(const PageCall& call, const std::string& text) {
  return call.name == "gLogin" || call.name == "gLoginByKey" ? std::string("(hidden)") : text;
}

}  // namespace

jsFunction& jsFunction::sharedInstance() {
  static jsFunction instance;
  return instance;
}

void jsFunction::addOperation(PageCall call, std::optional<std::string> callbackId,
                              std::weak_ptr<NBWebViewDelegate> delegate,
                              std::weak_ptr<WebWindowController> controller) {
  NBLOG_DEBUG("{}:{}", call.name, loggable(call, call.json()));
  PageHandler handler = pageHandler(call.name);
  queue_.addOperation([call = std::move(call), callbackId = std::move(callbackId),
                       delegate = std::move(delegate), controller = std::move(controller),
                       handler = std::move(handler)] {
    try {
      const std::shared_ptr<WebWindowController> window = controller.lock();
      if (!window) return;
      const std::optional<std::string> answer = handler(call, *window);
      if (!answer || answer->empty()) return;
      if (auto bridge = delegate.lock()) bridge->answer(callbackId, *answer);
      NBLOG_DEBUG("{}:{}", call.name, loggable(call, *answer));
    } catch (const std::exception& e) {
      NBLOG_ERROR("exception: {} ", e.what());
    } catch (...) {
      NBLOG_ERROR("exception: {} ", "unknown");
    }
  });
}

}  // namespace nb::bridge
