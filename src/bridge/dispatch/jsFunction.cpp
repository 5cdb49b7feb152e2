#include "bridge/dispatch/jsFunction.h"

#include <exception>

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "platform/Log.h"
#include "shell/windows/WebWindowController.h"

namespace nb::bridge {

jsFunction& jsFunction::sharedInstance() {
  static jsFunction instance;
  return instance;
}

void jsFunction::addOperation(PageCall call, std::optional<std::string> callbackId,
                              std::weak_ptr<NBWebViewDelegate> delegate,
                              std::weak_ptr<WebWindowController> controller) {
  NBLOG_DEBUG("{}:{}", call.name, call.json());
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
      NBLOG_DEBUG("{}:{}", call.name, *answer);
    } catch (const std::exception& e) {
      NBLOG_ERROR("exception: {} ", e.what());
    } catch (...) {
      NBLOG_ERROR("exception: {} ", "unknown");
    }
  });
}

}  // namespace nb::bridge
