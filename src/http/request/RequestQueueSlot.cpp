#include "http/request/RequestQueueSlot.h"

#include "http/request/ASIHTTPRequest.h"

namespace nb::http {

void RequestQueueSlot::main() {
  std::shared_ptr<ASIHTTPRequest> request;
  {
    std::lock_guard lock(mutex_);
    request = request_;
  }
  if (request) {
    request->start();
  } else {
    finish();
  }
}

void RequestQueueSlot::requestFinished() {
  std::shared_ptr<ASIHTTPRequest> request;
  {
    std::lock_guard lock(mutex_);
    request.swap(request_);
  }
  finish();
}

}  // namespace nb::http
