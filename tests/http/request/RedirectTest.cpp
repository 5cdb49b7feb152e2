// The library's own redirects: which codes are followed, what each keeps, the
// limit, and the order of events on the main thread.

#include <gtest/gtest.h>

#include "http/HttpTestSupport.h"

namespace nb::test {
namespace {

using http::ASIHTTPRequest;

class RedirectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerTestIdentity();
    server_.on("/target", [](const ScriptedRequest& request) {
      return ScriptedReply::ok(request.method + ":" + request.body);
    });
  }
  ScriptedHttpServer server_;
};

struct RedirectCase {
  int status;
  bool rfc2616;
  const char* method;  // what reaches the target
  bool keepsBodyAndHeaders;
};

class RedirectMatrix : public RedirectTest, public ::testing::WithParamInterface<RedirectCase> {};

TEST_P(RedirectMatrix, MethodBodyAndHeadersThatReachTheTarget) {
  const RedirectCase& c = GetParam();
  server_.on("/start", ScriptedReply::redirect(c.status, "/target"));  // a path-only Location
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/start"));
  request->setRequestMethod("PUT");
  request->addRequestHeader("Range", "bytes=0-9");
  request->addRequestHeader("Accept", "text/plain");
  request->appendPostData("0123456789");
  request->shouldUseRFC2616RedirectBehaviour = c.rfc2616;
  request->startSynchronous();

  EXPECT_EQ(errorCode(*request), 0);
  EXPECT_EQ(request->responseStatusCode(), 200);
  EXPECT_EQ(request->redirectCount(), 1);
  EXPECT_EQ(request->originalURL(), server_.url("/start"));
  const auto seen = server_.requests();
  ASSERT_EQ(seen.size(), 2u);
  const ScriptedRequest& target = seen[1];
  EXPECT_EQ(target.target, "/target");
  EXPECT_EQ(target.method, c.method);
  EXPECT_EQ(target.body, c.keepsBodyAndHeaders ? "0123456789" : "");
  EXPECT_EQ(target.header("Range").has_value(), c.keepsBodyAndHeaders);
  EXPECT_EQ(target.header("Accept"), "text/plain");
  EXPECT_TRUE(target.header("User-Agent"));
}

INSTANTIATE_TEST_SUITE_P(Table, RedirectMatrix,
                         ::testing::Values(RedirectCase{301, false, "GET", false},
                                           RedirectCase{302, false, "GET", false},
                                           RedirectCase{303, false, "GET", false},
                                           RedirectCase{307, false, "PUT", true},
                                           RedirectCase{301, true, "PUT", true},
                                           RedirectCase{302, true, "PUT", true},
                                           RedirectCase{303, true, "GET", false},
                                           RedirectCase{307, true, "PUT", true}));

class NotFollowed : public RedirectTest, public ::testing::WithParamInterface<int> {};

TEST_P(NotFollowed, EndsInFinishedWithThatStatus) {
  server_.on("/start", ScriptedReply::redirect(GetParam(), "/target"));
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/start"));
  RecordingDelegate delegate;
  ASSERT_TRUE(runAsynchronously(request, delegate));
  EXPECT_EQ(delegate.finished, 1);
  EXPECT_EQ(request->responseStatusCode(), GetParam());
  EXPECT_EQ(server_.requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Codes, NotFollowed, ::testing::Values(300, 304, 305, 306, 308));

TEST_F(RedirectTest, A301WithoutLocationIsNotFollowed) {
  ScriptedReply moved;
  moved.status = 301;
  server_.on("/start", moved);
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/start"));
  request->startSynchronous();
  EXPECT_EQ(errorCode(*request), 0);
  EXPECT_EQ(request->responseStatusCode(), 301);
}

TEST_F(RedirectTest, FiveAreFollowedAndTheSixthFailsWithCode9) {
  server_.on("/loop", ScriptedReply::redirect(302, "/loop"));
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/loop"));
  RecordingDelegate delegate;
  ASSERT_TRUE(runAsynchronously(request, delegate));
  EXPECT_EQ(delegate.failed, 1);
  EXPECT_EQ(errorCode(*request), http::ASITooMuchRedirectionErrorType);
  EXPECT_EQ(request->responseStatusCode(), 302);
  EXPECT_EQ(server_.requests().size(), 6u);
}

TEST_F(RedirectTest, EventsReachTheMainThreadInOrder) {
  server_.on("/start", ScriptedReply::redirect(302, "/target"));
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/start"));
  RecordingDelegate delegate;
  delegate.takesData = true;
  ASSERT_TRUE(runAsynchronously(request, delegate));
  EXPECT_EQ(delegate.events, (std::vector<std::string>{"started", "redirected", "headers",
                                                       "started", "headers", "data", "finished"}));
  EXPECT_EQ(delegate.data, "GET:");
  EXPECT_EQ(request->responseData(), "");  // the delegate took every chunk
}

TEST_F(RedirectTest, ASynchronousRunOnTheMainThreadGetsItsCallbacksBeforeItReturns) {
  pumpMainThread();  // makes this thread the main thread
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/target"));
  RecordingDelegate delegate;
  request->setDelegate(&delegate);
  request->startSynchronous();
  EXPECT_EQ(delegate.events,
            (std::vector<std::string>{"started", "headers", "finished"}));
}

TEST_F(RedirectTest, ADelegateClearedBeforeTheFinishedEventGetsNothingButTheBlockDoes) {
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/target"));
  RecordingDelegate delegate;
  bool completed = false;
  request->setCompletionBlock([&] { completed = true; });
  request->setDelegate(&delegate);
  std::thread([&] { request->startSynchronous(); }).join();
  request->setDelegate(nullptr);
  ASSERT_TRUE(pumpMainThreadUntil([&] { return completed; }));
  EXPECT_TRUE(delegate.events.empty());
}

}  // namespace
}  // namespace nb::test
