#pragma once
// A group of requests that speaks as one: it counts the requests still open,
// sums their progress for two progress displays, relays their callbacks to
// one delegate under names the owner chooses, says when the group is done,
// and by default cancels the rest of the group when one request fails.
//
// Made suspended and four wide; go() starts it. Every callback arrives on the
// main thread, where the requests post them.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http/request/ASIHTTPRequest.h"
#include "http/request/ASIHTTPRequestDelegate.h"
#include "http/request/ASIProgressDelegate.h"
#include "platform/OperationQueue.h"

namespace nb::http {

class ASINetworkQueue;

// The delegate of a queue: the request callbacks, plus the one for the
// group's end under the name the queue was given.
class ASINetworkQueueDelegate : public ASIHTTPRequestDelegate {
 public:
  virtual void performQueueSelector(std::string_view name, ASINetworkQueue& queue) = 0;
};

class ASINetworkQueue final : public ASIHTTPRequestDelegate,
                              public ASIProgressDelegate,
                              public std::enable_shared_from_this<ASINetworkQueue> {
 public:
  static constexpr int kHeadPriority = 10;

  static std::shared_ptr<ASINetworkQueue> queue();
  ~ASINetworkQueue() override;
  ASINetworkQueue(const ASINetworkQueue&) = delete;
  ASINetworkQueue& operator=(const ASINetworkQueue&) = delete;

  void go();
  void setSuspended(bool suspended);
  bool isSuspended() const;
  void setMaxConcurrentOperationCount(int count);

  // Nothing (and an error logged) for no request.
  void addOperation(const std::shared_ptr<ASIHTTPRequest>& request);
  void addHEADOperation(const std::shared_ptr<ASIHTTPRequest>& request);
  void cancelAllOperations();
  void reset();
  std::shared_ptr<ASINetworkQueue> copy() const;

  // Not owned; each set resets the display.
  void setUploadProgressDelegate(ASIProgressDelegate* display);
  void setDownloadProgressDelegate(ASIProgressDelegate* display);
  ASIProgressDelegate* uploadProgressDelegate() const { return uploadProgressDelegate_; }
  ASIProgressDelegate* downloadProgressDelegate() const { return downloadProgressDelegate_; }

  ASINetworkQueueDelegate* delegate = nullptr;  // not owned
  std::optional<std::string> requestDidStartSelector;
  std::optional<std::string> requestDidReceiveResponseHeadersSelector;
  std::optional<std::string> requestWillRedirectSelector;
  std::optional<std::string> requestDidFinishSelector;
  std::optional<std::string> requestDidFailSelector;
  std::optional<std::string> queueDidFinishSelector;
  bool shouldCancelAllRequestsOnFailure = true;
  bool showAccurateProgress = false;

  int requestsCount() const { return requestsCount_; }
  uint64_t bytesUploadedSoFar() const { return bytesUploadedSoFar_; }
  uint64_t totalBytesToUpload() const { return totalBytesToUpload_; }
  uint64_t bytesDownloadedSoFar() const { return bytesDownloadedSoFar_; }
  uint64_t totalBytesToDownload() const { return totalBytesToDownload_; }

  // What the requests send their queue.
  bool respondsToSelector(std::string_view name) const override;
  void performSelector(std::string_view name, ASIHTTPRequest& request,
                       const DelegateArgument& argument) override;
  void requestDidReceiveBytes(ASIHTTPRequest& request, int64_t amount) override;
  void requestDidSendBytes(ASIHTTPRequest& request, int64_t amount) override;
  void requestIncrementDownloadSizeBy(ASIHTTPRequest& request, int64_t amount) override;
  void requestIncrementUploadSizeBy(ASIHTTPRequest& request, int64_t amount) override;

 private:
  ASINetworkQueue();

  void relay(const std::optional<std::string>& name, ASIHTTPRequest& request,
             const DelegateArgument& argument);
  void requestFinishedOrFailed(ASIHTTPRequest& request, bool failed);
  void resetProgressDelegate(ASIProgressDelegate* display);
  std::vector<std::shared_ptr<ASIHTTPRequest>> openRequests();

  std::unique_ptr<platform::OperationQueue> operations_;
  ASIProgressDelegate* uploadProgressDelegate_ = nullptr;
  ASIProgressDelegate* downloadProgressDelegate_ = nullptr;
  int requestsCount_ = 0;
  uint64_t bytesUploadedSoFar_ = 0;
  uint64_t totalBytesToUpload_ = 0;
  uint64_t bytesDownloadedSoFar_ = 0;
  uint64_t totalBytesToDownload_ = 0;
  std::mutex requestsLock_;
  std::vector<std::weak_ptr<ASIHTTPRequest>> requests_;  // guarded by requestsLock_
};

}  // namespace nb::http
