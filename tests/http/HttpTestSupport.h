#pragma once
// Shared pieces of the request library's tests: a delegate that records the
// order of its callbacks, and helpers that run a request and wait for its
// outcome on the main thread.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/proxy/ProxyResolver.h"
#include "http/request/ASIHTTPRequest.h"
#include "http/shared/ASIHTTPRequestDefaults.h"
#include "support/PumpMainThread.h"
#include "support/ScriptedHttpServer.h"

namespace nb::test {

class RecordingDelegate : public http::ASIHTTPRequestDelegate {
 public:
  bool takesData = false;
  // Runs inside the first data callback (for example a cancel).
  std::function<void(http::ASIHTTPRequest&)> onFirstData;

  std::vector<std::string> events;  // consecutive "data" events appear once
  std::string data;
  size_t largestChunk = 0;
  int finished = 0;
  int failed = 0;
  bool ended() const { return finished + failed > 0; }

  bool respondsToSelector(std::string_view name) const override {
    if (name == http::selector::didReceiveData) return takesData;
    return name != http::selector::willRedirectToURL;
  }
  void requestStarted(http::ASIHTTPRequest&) override { events.push_back("started"); }
  void requestDidReceiveResponseHeaders(http::ASIHTTPRequest&,
                                        const platform::HttpHeaders&) override {
    events.push_back("headers");
  }
  void requestRedirected(http::ASIHTTPRequest&) override { events.push_back("redirected"); }
  void requestDidReceiveData(http::ASIHTTPRequest& request, const std::string& bytes) override {
    if (events.empty() || events.back() != "data") events.push_back("data");
    const bool first = data.empty();
    data += bytes;
    largestChunk = std::max(largestChunk, bytes.size());
    if (first && onFirstData) onFirstData(request);
  }
  void requestFinished(http::ASIHTTPRequest&) override {
    events.push_back("finished");
    ++finished;
  }
  void requestFailed(http::ASIHTTPRequest&) override {
    events.push_back("failed");
    ++failed;
  }
};

// Gives the process an application identity, so requests carry the default
// User-Agent.
inline void registerTestIdentity() {
  http::ASIHTTPRequestDefaults::registerApplicationIdentity({"nubren", "2.1", "345"});
}

// Runs `request` asynchronously with `delegate` and pumps the main thread
// until its outcome arrived.
inline bool runAsynchronously(const std::shared_ptr<http::ASIHTTPRequest>& request,
                              RecordingDelegate& delegate) {
  request->setDelegate(&delegate);
  request->startAsynchronous();
  return pumpMainThreadUntil([&] { return delegate.ended(); });
}

// Sends every request through one proxy URI.
class FixedProxyResolver final : public http::ProxyResolver {
 public:
  explicit FixedProxyResolver(std::string uri) : uri_(std::move(uri)) {}
  std::optional<std::vector<std::string>> lookup(const std::string&) override {
    return std::vector<std::string>{uri_};
  }

 private:
  std::string uri_;
};

inline int errorCode(const http::ASIHTTPRequest& request) {
  return request.error() ? request.error()->code() : 0;
}

}  // namespace nb::test
