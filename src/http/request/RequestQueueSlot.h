#pragma once
// A request's place in sharedQueue. The request's own start/main/cancel are
// the library's steps, so the queue runs this small operation instead: it
// starts the request and keeps the slot until the request marks itself
// finished. It keeps the request alive meanwhile.

#include <memory>
#include <mutex>

#include "platform/Operation.h"

namespace nb::http {

class ASIHTTPRequest;

class RequestQueueSlot final : public platform::Operation {
 public:
  explicit RequestQueueSlot(std::shared_ptr<ASIHTTPRequest> request)
      : request_(std::move(request)) {}

  bool isConcurrent() const override { return true; }
  // The request ended: free the slot and let the request go.
  void requestFinished();

 protected:
  void main() override;

 private:
  std::mutex mutex_;
  std::shared_ptr<ASIHTTPRequest> request_;  // guarded by mutex_
};

}  // namespace nb::http
