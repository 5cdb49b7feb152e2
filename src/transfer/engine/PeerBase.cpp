#include "transfer/engine/PeerBase.h"

#include "http/request/ASIHTTPRequest.h"

namespace nb {

PeerBase::~PeerBase() {
  // A request still running must not call back into a source that is gone.
  if (auto request = pRequest()) request->clearDelegatesAndCancel();
}

void PeerBase::Stop(bool deleting) {
  bStop_.store(true);
  bDelete_.store(deleting);
  std::shared_ptr<http::ASIHTTPRequest> request;
  {
    std::lock_guard lock(mutex_);
    request = std::move(pRequest_);
    pRequest_.reset();
  }
  if (request && !request->isCancelled()) request->clearDelegatesAndCancel();
}

std::string PeerBase::strUrl() const {
  std::lock_guard lock(mutex_);
  return strUrl_;
}

void PeerBase::setStrUrl(std::string url) {
  std::lock_guard lock(mutex_);
  strUrl_ = std::move(url);
}

std::shared_ptr<http::ASIHTTPRequest> PeerBase::pRequest() const {
  std::lock_guard lock(mutex_);
  return pRequest_;
}

void PeerBase::setPRequest(std::shared_ptr<http::ASIHTTPRequest> request) {
  std::lock_guard lock(mutex_);
  pRequest_ = std::move(request);
}

}  // namespace nb
