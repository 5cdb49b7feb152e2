// Running requests against the scripted loopback server: both ways of
// starting, bodies, time-outs, cancels and TLS.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "http/HttpTestSupport.h"
#include "support/PumpMainThread.h"
#include "support/ScriptedHttpServer.h"

namespace nb::test {
namespace {

using http::ASIHTTPRequest;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerTestIdentity();
    pumpMainThread();  // this thread is the main thread: synchronous callbacks run inline
    server_.on("/echo", [](const ScriptedRequest& request) {
      return ScriptedReply::ok(request.method + ":" + request.body);
    });
  }
  ScriptedHttpServer server_;
};

struct ExchangeCase {
  const char* method;
  std::string body;
  bool synchronous;
};

class Exchanges : public RunTest, public ::testing::WithParamInterface<ExchangeCase> {};

TEST_P(Exchanges, TheServerGetsMethodAndBodyAndTheAnswerComesBack) {
  const ExchangeCase& c = GetParam();
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/echo"));
  request->setRequestMethod(c.method);
  if (!c.body.empty()) request->appendPostData(c.body);
  RecordingDelegate delegate;
  if (c.synchronous) {
    request->setDelegate(&delegate);
    request->startSynchronous();
  } else {
    ASSERT_TRUE(runAsynchronously(request, delegate));
  }
  EXPECT_EQ(errorCode(*request), 0);
  EXPECT_EQ(request->responseStatusCode(), 200);
  EXPECT_EQ(request->responseString(), std::string(c.method) + ":" + c.body);
  EXPECT_EQ(delegate.finished, 1);
  const auto seen = server_.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].version, "HTTP/1.1");
  EXPECT_FALSE(seen[0].header("Expect"));
  EXPECT_EQ(seen[0].header("Accept-Encoding"), "gzip");
  EXPECT_TRUE(seen[0].header("User-Agent"));
}

INSTANTIATE_TEST_SUITE_P(Table, Exchanges,
                         ::testing::Values(ExchangeCase{"GET", "", true},
                                           ExchangeCase{"GET", "", false},
                                           ExchangeCase{"POST", "form=1", true},
                                           ExchangeCase{"POST", "form=1", false},
                                           ExchangeCase{"PUT", std::string(300000, 'p'), true},
                                           ExchangeCase{"PUT", "piece", false}));

TEST_F(RunTest, AbsentUrlFailsWithCode5BothWays) {
  auto sync = ASIHTTPRequest::requestWithURL("");
  sync->startSynchronous();
  EXPECT_EQ(errorCode(*sync), http::ASIUnableToCreateRequestErrorType);
  EXPECT_EQ(sync->responseStatusCode(), 0);

  auto async = ASIHTTPRequest::requestWithURL("");
  RecordingDelegate delegate;
  ASSERT_TRUE(runAsynchronously(async, delegate));
  EXPECT_EQ(delegate.failed, 1);
  EXPECT_EQ(errorCode(*async), http::ASIUnableToCreateRequestErrorType);
}

TEST_F(RunTest, CancelBeforeStartEndsSynchronousRunAtOnceWithoutTraffic) {
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/echo"));
  request->cancel();
  ASSERT_TRUE(pumpMainThreadUntil([&] { return request->isCancelled(); }));
  request->startSynchronous();
  EXPECT_EQ(errorCode(*request), http::ASIRequestCancelledErrorType);
  EXPECT_EQ(server_.acceptedConnections(), 0);
}

TEST_F(RunTest, SilentServerTimesOutAfterTheIdleTime) {
  ScriptedReply silent;
  silent.stallBeforeHead = true;
  server_.on("/silent", silent);
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/silent"));
  request->timeOutSeconds = 0.5;
  const auto start = Clock::now();
  request->startSynchronous();
  const double took = secondsSince(start);
  EXPECT_EQ(errorCode(*request), http::ASIRequestTimedOutErrorType);
  EXPECT_EQ(request->error()->localizedDescription(), "The request timed out");
  EXPECT_GE(took, 0.5);
  EXPECT_LT(took, 0.75 + 1.5);  // a tick late at most, with room for a loaded machine
}

TEST_F(RunTest, StalledUploadBeforeItsFirstBufferWaitsHalfAsLongAgain) {
  ScriptedReply deaf;
  deaf.readRequestBody = false;
  server_.on("/deaf", deaf);
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/deaf"));
  request->setRequestMethod("PUT");
  request->appendPostData(std::string(64 << 20, 'u'));
  request->timeOutSeconds = 0.5;
  const auto start = Clock::now();
  request->startSynchronous();
  EXPECT_EQ(errorCode(*request), http::ASIRequestTimedOutErrorType);
  EXPECT_GE(secondsSince(start), 0.75);
}

TEST_F(RunTest, NoTimeOutWhenTheTimeOutIsZero) {
  ScriptedReply slow = ScriptedReply::ok("late");
  slow.stallBeforeHead = true;
  server_.on("/slow", slow);
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/slow"));
  request->timeOutSeconds = 0;
  RecordingDelegate delegate;
  request->setDelegate(&delegate);
  request->startAsynchronous();
  pumpMainThreadUntil([&] { return delegate.ended(); }, std::chrono::seconds(2));
  EXPECT_FALSE(delegate.ended());
  request->cancel();
  ASSERT_TRUE(pumpMainThreadUntil([&] { return delegate.ended(); }));
  EXPECT_EQ(errorCode(*request), http::ASIRequestCancelledErrorType);
}

class CancelMidBody : public RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    ScriptedReply partial = ScriptedReply::ok(std::string(1000, 'b'));
    partial.stallAfterBodyBytes = 100;
    server_.on("/partial", partial);
  }
};

TEST_F(CancelMidBody, FromTheMainThreadInsideTheDataCallback) {
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/partial"));
  RecordingDelegate delegate;
  delegate.takesData = true;
  delegate.onFirstData = [](ASIHTTPRequest& r) { r.cancel(); };
  ASSERT_TRUE(runAsynchronously(request, delegate));
  pumpMainThreadUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_EQ(delegate.failed, 1);
  EXPECT_EQ(delegate.finished, 0);
  EXPECT_EQ(errorCode(*request), http::ASIRequestCancelledErrorType);
  EXPECT_TRUE(request->isCancelled());
}

TEST_F(CancelMidBody, FromAnotherThreadEndsASynchronousWaitWithThePartialBody) {
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/partial"));
  RecordingDelegate delegate;
  request->setDelegate(&delegate);
  std::atomic<bool> returned = false;
  std::thread runner([&] {
    request->startSynchronous();
    returned = true;
  });
  // The head is read once the headers event arrives here.
  ASSERT_TRUE(pumpMainThreadUntil([&] {
    return std::find(delegate.events.begin(), delegate.events.end(), "headers") !=
           delegate.events.end();
  }));
  ASSERT_TRUE(pumpMainThreadUntil([&] { return request->totalBytesRead() == 100; }));
  std::thread([&] { request->cancel(); }).join();
  ASSERT_TRUE(pumpMainThreadUntil([&] { return returned.load() && delegate.ended(); }));
  runner.join();
  EXPECT_EQ(errorCode(*request), http::ASIRequestCancelledErrorType);
  EXPECT_EQ(delegate.failed, 1);
  EXPECT_EQ(delegate.finished, 0);
  EXPECT_EQ(request->responseData(), std::string(100, 'b'));
}

TEST(RunTls, SelfSignedRefusedByDefaultAndAcceptedWithoutValidation) {
  registerTestIdentity();
  ScriptedHttpServer server(true);
  server.on("/secure", ScriptedReply::ok("secret"));

  auto checked = ASIHTTPRequest::requestWithURL(server.url("/secure"));
  checked->startSynchronous();
  EXPECT_EQ(errorCode(*checked), http::ASIConnectionFailureErrorType);
  EXPECT_NE(checked->error()->localizedDescription().find("SSL problem"), std::string::npos);
  ASSERT_TRUE(checked->error()->underlyingError());

  auto trusting = ASIHTTPRequest::requestWithURL(server.url("/secure"));
  trusting->validatesSecureCertificate = false;
  trusting->startSynchronous();
  EXPECT_EQ(errorCode(*trusting), 0);
  EXPECT_EQ(trusting->responseString(), "secret");
  const auto seen = server.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].version, "HTTP/1.1");
  EXPECT_FALSE(server.sawHttp2Offer());
}

}  // namespace
}  // namespace nb::test
