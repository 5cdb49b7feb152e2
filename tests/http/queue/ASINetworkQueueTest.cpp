// A network queue speaking for its requests: one end of the group, the rest
// cancelled after a failure, summed progress, HEAD requests ahead of their
// GETs, and what a reset keeps.

#include <gtest/gtest.h>

#include "http/HttpTestSupport.h"
#include "http/queue/ASINetworkQueue.h"

namespace nb::test {
namespace {

using http::ASIHTTPRequest;
using http::ASINetworkQueue;

class QueueDelegate : public http::ASINetworkQueueDelegate {
 public:
  std::vector<std::string> events;
  int queueFinished = 0;

  bool respondsToSelector(std::string_view name) const override {
    return name == "done:" || name == "finished:" || name == "failed:" || name == "started:";
  }
  void performSelector(std::string_view name, ASIHTTPRequest& request,
                       const http::DelegateArgument&) override {
    events.push_back(std::string(name) + request.url().substr(request.url().rfind('/')));
  }
  void performQueueSelector(std::string_view name, ASINetworkQueue&) override {
    events.emplace_back(name);
    ++queueFinished;
  }
};

class Display : public http::ASIProgressDelegate {
 public:
  double value = -1;
  double maxValue = 0;
  bool respondsToSelector(std::string_view name) const override {
    return name == http::progress::setDoubleValue || name == http::progress::setMaxValue;
  }
  void setDoubleValue(double v) override { value = v; }
  void setMaxValue(double v) override { maxValue = v; }
};

class NetworkQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerTestIdentity();
    for (const char* path : {"/a", "/b", "/c"}) {
      server_.on(path, ScriptedReply::ok(std::string(1000 * (path[1] - 'a' + 1), 'x')));
    }
    ScriptedReply stall;
    stall.stallBeforeHead = true;
    server_.on("/stall", stall);
    queue_->delegate = &delegate_;
    queue_->queueDidFinishSelector = "done:";
  }
  std::shared_ptr<ASIHTTPRequest> request(const std::string& path) {
    return ASIHTTPRequest::requestWithURL(server_.url(path));
  }
  bool waitForEnd() {
    return pumpMainThreadUntil([&] { return delegate_.queueFinished > 0; });
  }

  ScriptedHttpServer server_;
  QueueDelegate delegate_;
  std::shared_ptr<ASINetworkQueue> queue_ = ASINetworkQueue::queue();
};

TEST_F(NetworkQueueTest, ThreeRequestsWithoutFinishSelectorEndTheGroupOnce) {
  for (const char* path : {"/a", "/b", "/c"}) queue_->addOperation(request(path));
  EXPECT_EQ(queue_->requestsCount(), 3);
  queue_->go();
  ASSERT_TRUE(waitForEnd());
  pumpMainThread();
  EXPECT_EQ(delegate_.events, std::vector<std::string>{"done:"});
  EXPECT_EQ(queue_->requestsCount(), 0);
}

TEST_F(NetworkQueueTest, AFailureCancelsTheRestAndTheGroupEndsAfterTheLast) {
  queue_->requestDidFailSelector = "failed:";
  queue_->addOperation(ASIHTTPRequest::requestWithURL("http://127.0.0.1:1/refused"));
  queue_->addOperation(request("/stall"));
  queue_->addOperation(request("/stall"));
  queue_->go();
  ASSERT_TRUE(waitForEnd());
  pumpMainThread();
  EXPECT_EQ(delegate_.events, (std::vector<std::string>{"failed:/refused", "failed:/stall",
                                                        "failed:/stall", "done:"}));
  EXPECT_EQ(queue_->bytesDownloadedSoFar(), 0u);
  EXPECT_EQ(queue_->totalBytesToDownload(), 0u);
}

TEST_F(NetworkQueueTest, WithoutAccurateProgressEachRequestCountsOneEachWay) {
  queue_->addOperation(request("/a"));
  queue_->addOperation(request("/b"));
  EXPECT_EQ(queue_->totalBytesToDownload(), 2u);
  EXPECT_EQ(queue_->totalBytesToUpload(), 2u);
  queue_->go();
  ASSERT_TRUE(waitForEnd());
  pumpMainThread();
  EXPECT_EQ(server_.requests().size(), 2u);  // no HEAD requests
}

TEST_F(NetworkQueueTest, AccurateProgressSumsTheGroupAndHeadsGoFirstOnlyWhileSuspended) {
  Display display;
  queue_->showAccurateProgress = true;
  queue_->setDownloadProgressDelegate(&display);
  pumpMainThread();
  EXPECT_EQ(display.maxValue, 1.0);
  EXPECT_EQ(display.value, 0.0);
  queue_->setMaxConcurrentOperationCount(1);
  queue_->requestDidFailSelector = "failed:";
  queue_->requestDidFinishSelector = "finished:";
  std::vector<std::shared_ptr<ASIHTTPRequest>> all = {request("/a"), request("/b"), request("/c")};
  queue_->addOperation(all[0]);
  queue_->addOperation(all[1]);
  queue_->go();
  queue_->addOperation(all[2]);  // after go: no HEAD
  ASSERT_TRUE(waitForEnd());
  pumpMainThread();
  EXPECT_EQ(delegate_.events,
            (std::vector<std::string>{"finished:/a", "finished:/b", "finished:/c", "done:"}));
  std::vector<std::string> seen;
  for (const auto& r : server_.requests()) seen.push_back(r.method + " " + r.target);
  EXPECT_EQ(seen, (std::vector<std::string>{"HEAD /a", "HEAD /b", "GET /a", "GET /b", "GET /c"}));
  EXPECT_EQ(queue_->bytesDownloadedSoFar(), 6000u);
  EXPECT_EQ(queue_->totalBytesToDownload(), 6000u);  // the HEADs announced a and b
  EXPECT_DOUBLE_EQ(display.value, 1.0);
}

TEST_F(NetworkQueueTest, ResetKeepsOnlyTheRedirectSelector) {
  Display display;
  queue_->setUploadProgressDelegate(&display);
  queue_->requestWillRedirectSelector = "redirect:";
  queue_->requestDidFinishSelector = "finished:";
  queue_->go();
  queue_->reset();
  EXPECT_EQ(queue_->requestWillRedirectSelector, "redirect:");
  EXPECT_FALSE(queue_->requestDidFinishSelector);
  EXPECT_FALSE(queue_->queueDidFinishSelector);
  EXPECT_EQ(queue_->delegate, nullptr);
  EXPECT_EQ(queue_->uploadProgressDelegate(), nullptr);
  EXPECT_TRUE(queue_->isSuspended());
  const auto made = queue_->copy();
  EXPECT_EQ(made->requestWillRedirectSelector, "redirect:");
  EXPECT_TRUE(made->isSuspended());
}

}  // namespace
}  // namespace nb::test
