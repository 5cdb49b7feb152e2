#include "http/queue/ASINetworkQueue.h"

#include <algorithm>

#include "platform/Log.h"
#include "platform/MainThread.h"

namespace nb::http {

namespace {
constexpr int kWidth = 4;
}

std::shared_ptr<ASINetworkQueue> ASINetworkQueue::queue() {
  return std::shared_ptr<ASINetworkQueue>(new ASINetworkQueue());
}

ASINetworkQueue::ASINetworkQueue()
    : operations_(std::make_unique<platform::OperationQueue>(kWidth)) {
  operations_->setSuspended(true);
}

// The requests hold their queue, so it goes only when none of them is left
// to call back; whatever still waits here is dropped with the queue.
ASINetworkQueue::~ASINetworkQueue() {
  for (const auto& request : openRequests()) request->setQueue(nullptr);
}

void ASINetworkQueue::go() { setSuspended(false); }

void ASINetworkQueue::setSuspended(bool suspended) { operations_->setSuspended(suspended); }

bool ASINetworkQueue::isSuspended() const { return operations_->isSuspended(); }

void ASINetworkQueue::setMaxConcurrentOperationCount(int count) {
  operations_->setMaxConcurrentOperationCount(count);
}

std::vector<std::shared_ptr<ASIHTTPRequest>> ASINetworkQueue::openRequests() {
  std::lock_guard lock(requestsLock_);
  std::vector<std::shared_ptr<ASIHTTPRequest>> open;
  std::erase_if(requests_, [&](const std::weak_ptr<ASIHTTPRequest>& weak) {
    const auto request = weak.lock();
    if (!request || request->isFinished()) return true;
    open.push_back(request);
    return false;
  });
  return open;
}

// ---- adding ---------------------------------------------------------------------------

void ASINetworkQueue::addOperation(const std::shared_ptr<ASIHTTPRequest>& request) {
  if (!request) {
    NBLOG_ERROR("AttemptToAddInvalidRequest: Attempted to add an object that was not an "
                "ASIHTTPRequest to an ASINetworkQueue");
    return;
  }
  ++requestsCount_;
  uint64_t toUpload = 1;
  std::shared_ptr<platform::Operation> head;
  if (showAccurateProgress) {
    request->buildPostBody();
    if (request->requestMethod() == "GET" && isSuspended()) {
      auto companion = request->HEADRequest();
      addHEADOperation(companion);
      head = companion->queueOperation();
      if (request->shouldResetDownloadProgress) {
        resetProgressDelegate(downloadProgressDelegate_);
        request->shouldResetDownloadProgress = false;
      }
    }
    toUpload = request->postLength();
  } else {
    totalBytesToDownload_ += 1;
  }
  totalBytesToUpload_ += toUpload;
  if (request->shouldResetUploadProgress) {
    resetProgressDelegate(uploadProgressDelegate_);
    request->shouldResetUploadProgress = false;
  }
  request->showAccurateProgress = showAccurateProgress;
  request->setQueue(shared_from_this());
  auto operation = request->queueOperation();
  if (head) operation->addDependency(head);
  {
    std::lock_guard lock(requestsLock_);
    requests_.push_back(request);
  }
  operations_->addOperation(operation);
}

void ASINetworkQueue::addHEADOperation(const std::shared_ptr<ASIHTTPRequest>& request) {
  if (!request) return;
  request->setRequestMethod("HEAD");
  request->setQueuePriority(kHeadPriority);
  request->showAccurateProgress = true;
  request->setQueue(shared_from_this());
  {
    std::lock_guard lock(requestsLock_);
    requests_.push_back(request);
  }
  operations_->addOperation(request->queueOperation());
}

// ---- cancelling and resetting ------------------------------------------------------------

// Each request is cancelled itself, so that it fails and is relayed; a
// request still waiting for its slot then ends as soon as it gets one.
void ASINetworkQueue::cancelAllOperations() {
  bytesUploadedSoFar_ = 0;
  totalBytesToUpload_ = 0;
  bytesDownloadedSoFar_ = 0;
  totalBytesToDownload_ = 0;
  for (const auto& request : openRequests()) request->cancel();
}

void ASINetworkQueue::reset() {
  cancelAllOperations();
  delegate = nullptr;
  uploadProgressDelegate_ = nullptr;
  downloadProgressDelegate_ = nullptr;
  requestDidStartSelector.reset();
  requestDidReceiveResponseHeadersSelector.reset();
  requestDidFailSelector.reset();
  requestDidFinishSelector.reset();
  queueDidFinishSelector.reset();
  setSuspended(true);
}

std::shared_ptr<ASINetworkQueue> ASINetworkQueue::copy() const {
  auto made = queue();
  made->delegate = delegate;
  made->requestDidStartSelector = requestDidStartSelector;
  made->requestDidReceiveResponseHeadersSelector = requestDidReceiveResponseHeadersSelector;
  made->requestWillRedirectSelector = requestWillRedirectSelector;
  made->requestDidFinishSelector = requestDidFinishSelector;
  made->requestDidFailSelector = requestDidFailSelector;
  made->queueDidFinishSelector = queueDidFinishSelector;
  made->uploadProgressDelegate_ = uploadProgressDelegate_;
  made->downloadProgressDelegate_ = downloadProgressDelegate_;
  made->shouldCancelAllRequestsOnFailure = shouldCancelAllRequestsOnFailure;
  made->showAccurateProgress = showAccurateProgress;
  return made;
}

// ---- progress displays --------------------------------------------------------------------

void ASINetworkQueue::setUploadProgressDelegate(ASIProgressDelegate* display) {
  uploadProgressDelegate_ = display;
  resetProgressDelegate(display);
}

void ASINetworkQueue::setDownloadProgressDelegate(ASIProgressDelegate* display) {
  downloadProgressDelegate_ = display;
  resetProgressDelegate(display);
}

void ASINetworkQueue::resetProgressDelegate(ASIProgressDelegate* display) {
  if (display == nullptr) return;
  auto reset = [display] {
    if (display->respondsToSelector(progress::setMaxValue)) display->setMaxValue(1.0);
    if (display->respondsToSelector(progress::setDoubleValue)) display->setDoubleValue(0.0);
  };
  if (platform::MainThread::isMainThread()) {
    reset();
  } else {
    platform::MainThread::post(std::move(reset));
  }
}

namespace {
void showFraction(ASIProgressDelegate* display, uint64_t soFar, uint64_t total) {
  if (display == nullptr || !display->respondsToSelector(progress::setDoubleValue)) return;
  display->setDoubleValue(total == 0 ? 0.0 : static_cast<double>(soFar) / static_cast<double>(total));
}
}  // namespace

void ASINetworkQueue::requestDidReceiveBytes(ASIHTTPRequest&, int64_t amount) {
  bytesDownloadedSoFar_ += static_cast<uint64_t>(amount);
  showFraction(downloadProgressDelegate_, bytesDownloadedSoFar_, totalBytesToDownload_);
}

void ASINetworkQueue::requestDidSendBytes(ASIHTTPRequest&, int64_t amount) {
  bytesUploadedSoFar_ += static_cast<uint64_t>(amount);
  showFraction(uploadProgressDelegate_, bytesUploadedSoFar_, totalBytesToUpload_);
}

void ASINetworkQueue::requestIncrementDownloadSizeBy(ASIHTTPRequest&, int64_t amount) {
  totalBytesToDownload_ += static_cast<uint64_t>(amount);
}

void ASINetworkQueue::requestIncrementUploadSizeBy(ASIHTTPRequest&, int64_t amount) {
  totalBytesToUpload_ += static_cast<uint64_t>(amount);
}

// ---- relaying -----------------------------------------------------------------------------

bool ASINetworkQueue::respondsToSelector(std::string_view name) const {
  if (name == selector::authenticationNeeded || name == selector::proxyAuthenticationNeeded) {
    return delegate != nullptr && delegate->respondsToSelector(name);
  }
  if (name == selector::willRedirectToURL) {
    return requestWillRedirectSelector && delegate != nullptr &&
           delegate->respondsToSelector(*requestWillRedirectSelector);
  }
  return name == selector::requestStarted || name == selector::didReceiveResponseHeaders ||
         name == selector::requestFinished || name == selector::requestFailed ||
         name == progress::didReceiveBytes || name == progress::didSendBytes ||
         name == progress::incrementDownloadSizeBy || name == progress::incrementUploadSizeBy;
}

void ASINetworkQueue::performSelector(std::string_view name, ASIHTTPRequest& request,
                                      const DelegateArgument& argument) {
  // Relays may drop the last outside hold on the queue.
  const auto self = shared_from_this();
  if (name == selector::requestStarted) {
    relay(requestDidStartSelector, request, argument);
  } else if (name == selector::didReceiveResponseHeaders) {
    relay(requestDidReceiveResponseHeadersSelector, request, argument);
  } else if (name == selector::willRedirectToURL) {
    relay(requestWillRedirectSelector, request, argument);
  } else if (name == selector::requestFinished) {
    requestFinishedOrFailed(request, false);
  } else if (name == selector::requestFailed) {
    requestFinishedOrFailed(request, true);
  } else if ((name == selector::authenticationNeeded ||
              name == selector::proxyAuthenticationNeeded) &&
             delegate != nullptr && delegate->respondsToSelector(name)) {
    delegate->performSelector(name, request, argument);
  }
}

void ASINetworkQueue::relay(const std::optional<std::string>& name, ASIHTTPRequest& request,
                            const DelegateArgument& argument) {
  if (name && delegate != nullptr && delegate->respondsToSelector(*name)) {
    delegate->performSelector(*name, request, argument);
  }
}

void ASINetworkQueue::requestFinishedOrFailed(ASIHTTPRequest& request, bool failed) {
  --requestsCount_;
  relay(failed ? requestDidFailSelector : requestDidFinishSelector, request, {});
  if (requestsCount_ == 0 && queueDidFinishSelector && delegate != nullptr) {
    delegate->performQueueSelector(*queueDidFinishSelector, *this);
  }
  if (failed && shouldCancelAllRequestsOnFailure && requestsCount_ > 0) cancelAllOperations();
}

}  // namespace nb::http
