// Getting a proxy script: the fetch of asynchronous requests in sharedQueue
// (ahead of waiting requests, in extra room), the time limit on reading a
// script file, and a script named by the system's proxy list.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "http/HttpTestSupport.h"
#include "http/proxy/ProxyResolver.h"
#include "platform/OperationQueue.h"

namespace nb::test {
namespace {

using namespace std::chrono_literals;
using http::ASIHTTPRequest;

constexpr const char* kDirectScript = "function FindProxyForURL(url, host) { return 'DIRECT'; }";

// Holds the script answers until the test lets them go.
class Latch {
 public:
  void wait() {
    std::unique_lock lock(mutex_);
    ++waiting_;
    changed_.notify_all();
    changed_.wait_for(lock, 30s, [&] { return open_; });
  }
  int waiting() {
    std::lock_guard lock(mutex_);
    return waiting_;
  }
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  ~Latch() { open(); }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int waiting_ = 0;
  bool open_ = false;
};

TEST(PacFetch, WaitingRequestsWidenTheSharedQueueForTheirScriptsAndNarrowItAfter) {
  registerTestIdentity();
  platform::OperationQueue& queue = ASIHTTPRequest::sharedQueue();
  ASSERT_EQ(queue.maxConcurrentOperationCount(), 4);
  ScriptedHttpServer server;
  Latch latch;
  server.on("/proxy.pac", [&](const ScriptedRequest&) {
    latch.wait();
    return ScriptedReply::ok(kDirectScript);
  });
  server.on("/x", ScriptedReply::ok("direct"));

  std::vector<std::shared_ptr<ASIHTTPRequest>> requests;
  std::vector<RecordingDelegate> delegates(20);
  for (auto& delegate : delegates) {
    auto request = ASIHTTPRequest::requestWithURL(server.url("/x"));
    request->PACurl = server.url("/proxy.pac");
    request->setDelegate(&delegate);
    request->startAsynchronous();
    requests.push_back(request);
  }
  // Four requests hold the four slots; their script fetches start anyway.
  ASSERT_TRUE(pumpMainThreadUntil([&] { return latch.waiting() == 4; }, 20s));
  EXPECT_EQ(queue.maxConcurrentOperationCount(), 8);
  latch.open();
  ASSERT_TRUE(pumpMainThreadUntil([&] {
    return std::all_of(delegates.begin(), delegates.end(), [](auto& d) { return d.ended(); });
  }));
  for (size_t i = 0; i < requests.size(); ++i) {
    EXPECT_EQ(delegates[i].finished, 1) << i;
    EXPECT_EQ(requests[i]->responseString(), "direct") << i;
  }
  EXPECT_EQ(queue.maxConcurrentOperationCount(), 4);
  EXPECT_EQ(latch.waiting(), 20);  // nothing cached between requests
}

TEST(PacFetch, CancellingARequestThatWaitsForItsScriptNarrowsTheQueueAgain) {
  registerTestIdentity();
  platform::OperationQueue& queue = ASIHTTPRequest::sharedQueue();
  ScriptedHttpServer server;
  Latch latch;
  server.on("/proxy.pac", [&](const ScriptedRequest&) {
    latch.wait();
    return ScriptedReply::ok(kDirectScript);
  });
  auto request = ASIHTTPRequest::requestWithURL(server.url("/x"));
  request->PACurl = server.url("/proxy.pac");
  RecordingDelegate delegate;
  request->setDelegate(&delegate);
  request->startAsynchronous();
  ASSERT_TRUE(pumpMainThreadUntil([&] { return latch.waiting() == 1; }, 20s));
  EXPECT_EQ(queue.maxConcurrentOperationCount(), 5);
  request->cancel();
  ASSERT_TRUE(pumpMainThreadUntil([&] { return delegate.ended(); }));
  EXPECT_EQ(errorCode(*request), http::ASIRequestCancelledErrorType);
  latch.open();
  ASSERT_TRUE(pumpMainThreadUntil([&] { return queue.operationCount() == 0; }));
  EXPECT_EQ(queue.maxConcurrentOperationCount(), 4);
  // The script answer is recorded once the latch let it go.
  ASSERT_TRUE(server.waitForRequests(1));
  EXPECT_EQ(server.requests().size(), 1u);  // the script only
}

// A script file that never ends: a pipe fed a comment line every 20 ms.
class EndlessScript {
 public:
  EndlessScript() {
    ::mkfifo(path_.c_str(), 0600);
    writer_ = std::thread([this] {
      int fd = -1;
      const auto until = std::chrono::steady_clock::now() + 20s;
      while (fd < 0 && !stop_ && std::chrono::steady_clock::now() < until) {
        fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) std::this_thread::sleep_for(5ms);
      }
      while (fd >= 0 && !stop_ && std::chrono::steady_clock::now() < until) {
        if (::write(fd, "//\n", 3) < 0 && errno != EAGAIN) break;
        std::this_thread::sleep_for(20ms);
      }
      if (fd >= 0) ::close(fd);
    });
  }
  ~EndlessScript() {
    stop_ = true;
    writer_.join();
    std::filesystem::remove(path_);
  }
  std::string url() const { return "file://" + path_; }

 private:
  std::string path_ = http::temporaryFilePath() + ".pac";
  std::atomic<bool> stop_ = false;
  std::thread writer_;
};

TEST(PacFetch, AScriptFileThatTakesLongerThanTheTimeOutMeansDirect) {
  registerTestIdentity();
  ScriptedHttpServer server;
  server.on("/x", ScriptedReply::ok("direct"));
  for (const bool asynchronous : {false, true}) {
    EndlessScript script;
    auto request = ASIHTTPRequest::requestWithURL(server.url("/x"));
    request->PACurl = script.url();
    request->timeOutSeconds = 0.3;
    if (asynchronous) {
      RecordingDelegate delegate;
      ASSERT_TRUE(runAsynchronously(request, delegate));
    } else {
      request->startSynchronous();
    }
    EXPECT_EQ(errorCode(*request), 0) << asynchronous;
    EXPECT_EQ(request->responseString(), "direct") << asynchronous;
  }
}

// Names a script instead of a proxy, as a system setting would.
class ScriptResolver final : public http::ProxyResolver {
 public:
  explicit ScriptResolver(std::string entry) : entry_(std::move(entry)) {}
  std::optional<std::vector<std::string>> lookup(const std::string&) override {
    return std::vector<std::string>{entry_, "direct://"};
  }

 private:
  std::string entry_;
};

TEST(PacFetch, AScriptNamedByTheSystemListIsFetchedDirectlyAndHonoured) {
  registerTestIdentity();
  ScriptedHttpServer proxy;
  proxy.on("/x", [](const ScriptedRequest& request) { return ScriptedReply::ok(request.target); });
  ScriptedHttpServer scripts;
  scripts.on("/proxy.pac", ScriptedReply::ok("function FindProxyForURL(u, h) { return 'PROXY 127.0.0.1:" +
                                             std::to_string(proxy.port()) + "'; }"));
  const std::string target = "http://nowhere.invalid/x";
  const auto previous =
      http::ProxyResolver::setCurrent(std::make_shared<ScriptResolver>("pac+" + scripts.url("/proxy.pac")));
  auto sync = ASIHTTPRequest::requestWithURL(target);
  sync->startSynchronous();
  auto async = ASIHTTPRequest::requestWithURL(target);
  RecordingDelegate delegate;
  ASSERT_TRUE(runAsynchronously(async, delegate));
  http::ProxyResolver::setCurrent(previous);
  for (const auto& request : {sync, async}) {
    EXPECT_EQ(errorCode(*request), 0);
    EXPECT_EQ(request->responseString(), target);
  }
  EXPECT_EQ(scripts.requests().size(), 2u);
}

}  // namespace
}  // namespace nb::test
