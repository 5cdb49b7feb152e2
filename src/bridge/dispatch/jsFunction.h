#pragma once
// The process-wide bridge queue: page functions that may take long run here,
// at most three at a time, and answer only a non-empty text.
//
// Threads: any.

#include <memory>
#include <optional>
#include <string>

#include "bridge/dispatch/PageCall.h"
#include "platform/OperationQueue.h"

namespace nb {
class WebWindowController;
}

namespace nb::bridge {

class NBWebViewDelegate;

class jsFunction {
 public:
  static constexpr int kWidth = 3;

  static jsFunction& sharedInstance();

  // Queues the call; its answer goes to `callbackId` of the delegate's page.
  void addOperation(PageCall call, std::optional<std::string> callbackId,
                    std::weak_ptr<NBWebViewDelegate> delegate,
                    std::weak_ptr<WebWindowController> controller);

  platform::OperationQueue& operationQueue() { return queue_; }

 private:
  jsFunction() = default;
  platform::OperationQueue queue_{kWidth};
};

}  // namespace nb::bridge
