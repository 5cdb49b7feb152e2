#pragma once
// How a web page speaks for the requests below it: the delegate and
// progress delegate of its children and the delegate of its resource queue.
// Included by the page's own sources only.

#include <string_view>

#include "http/webpage/ASIWebPageRequest.h"

namespace nb::http {

namespace webpage {
inline constexpr const char* kSucceeded = "externalResourceFetchSucceeded:";
inline constexpr const char* kFailed = "externalResourceFetchFailed:";
inline constexpr const char* kAllDone = "finishedFetchingExternalResources:";
}  // namespace webpage

// The delegate and progress delegate of a page's children and the delegate
// of its resource queue: the queue's three names are the page's own; every
// other message goes to the parent page, and from the top page to its
// delegate or progress delegates.
class ASIWebPageRequest::Relay final : public ASINetworkQueueDelegate, public ASIProgressDelegate {
 public:
  explicit Relay(ASIWebPageRequest& page) : page_(page) {}

  bool respondsToSelector(std::string_view name) const override {
    if (name == webpage::kSucceeded || name == webpage::kFailed) return true;
    if (const auto parent = page_.parentRequest()) return parent->relay_->respondsToSelector(name);
    if (ASIProgressDelegate* display = progressTarget(name)) return display->respondsToSelector(name);
    ASIHTTPRequestDelegate* delegate = page_.delegate();
    return isDelegateMessage(name) && delegate != nullptr && delegate->respondsToSelector(name);
  }

  void performSelector(std::string_view name, ASIHTTPRequest& request,
                       const DelegateArgument& argument) override {
    if (name == webpage::kSucceeded) return page_.externalResourceFetchSucceeded(request);
    if (name == webpage::kFailed) return page_.externalResourceFetchFailed(request);
    if (const auto parent = page_.parentRequest()) {
      return parent->relay_->performSelector(name, request, argument);
    }
    ASIHTTPRequestDelegate* delegate = page_.delegate();
    if (isDelegateMessage(name) && delegate != nullptr && delegate->respondsToSelector(name)) {
      delegate->performSelector(name, request, argument);
    }
  }

  void performQueueSelector(std::string_view name, ASINetworkQueue&) override {
    if (name == webpage::kAllDone) page_.finishedFetchingExternalResources();
  }

  void requestDidReceiveBytes(ASIHTTPRequest& r, int64_t n) override {
    if (auto* to = progressFor(progress::didReceiveBytes)) to->requestDidReceiveBytes(r, n);
  }
  void requestDidSendBytes(ASIHTTPRequest& r, int64_t n) override {
    if (auto* to = progressFor(progress::didSendBytes)) to->requestDidSendBytes(r, n);
  }
  void requestIncrementDownloadSizeBy(ASIHTTPRequest& r, int64_t n) override {
    if (auto* to = progressFor(progress::incrementDownloadSizeBy)) {
      to->requestIncrementDownloadSizeBy(r, n);
    }
  }
  void requestIncrementUploadSizeBy(ASIHTTPRequest& r, int64_t n) override {
    if (auto* to = progressFor(progress::incrementUploadSizeBy)) to->requestIncrementUploadSizeBy(r, n);
  }

 private:
  static bool isDelegateMessage(std::string_view name) {
    for (const char* known :
         {selector::requestStarted, selector::didReceiveResponseHeaders, selector::willRedirectToURL,
          selector::requestFinished, selector::requestFailed, selector::didReceiveData,
          selector::authenticationNeeded, selector::proxyAuthenticationNeeded}) {
      if (name == known) return true;
    }
    return false;
  }

  // The top page's display for a progress message; none for other messages.
  ASIProgressDelegate* progressTarget(std::string_view name) const {
    if (name == progress::didReceiveBytes || name == progress::incrementDownloadSizeBy) {
      return page_.downloadProgressDelegate();
    }
    if (name == progress::didSendBytes || name == progress::incrementUploadSizeBy) {
      return page_.uploadProgressDelegate();
    }
    return nullptr;
  }

  // Where a progress message goes on: the parent's relay, or the top page's
  // display when it takes that message.
  ASIProgressDelegate* progressFor(const char* name) const {
    if (const auto parent = page_.parentRequest()) return parent->relay_.get();
    ASIProgressDelegate* display = progressTarget(name);
    return display != nullptr && display->respondsToSelector(name) ? display : nullptr;
  }

  ASIWebPageRequest& page_;
};

}  // namespace nb::http
