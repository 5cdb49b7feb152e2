// Reading bodies: the read sizes, gathered from what curl hands over.

#include <gtest/gtest.h>

#include "http/HttpTestSupport.h"
#include "http/gzip/ASIDataDecompressor.h"

namespace nb::test {
namespace {

using http::ASIHTTPRequest;

struct ReadCase {
  ScriptedReply::Framing framing;
  size_t largestAllowed;
};

class ReadSizes : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadSizes, ChunksFollowTheAnnouncedLength) {
  registerTestIdentity();
  ScriptedHttpServer server;
  ScriptedReply reply;
  reply.generatedBytes = 100'000;
  reply.framing = GetParam().framing;
  server.on("/body", reply);
  auto request = ASIHTTPRequest::requestWithURL(server.url("/body"));
  RecordingDelegate delegate;
  delegate.takesData = true;
  ASSERT_TRUE(runAsynchronously(request, delegate));
  EXPECT_EQ(delegate.finished, 1);
  EXPECT_EQ(delegate.data.size(), 100'000u);
  EXPECT_LE(delegate.largestChunk, GetParam().largestAllowed);
  EXPECT_EQ(request->contentLength(), 100'000u);
}

INSTANTIATE_TEST_SUITE_P(Framings, ReadSizes,
                         ::testing::Values(ReadCase{ScriptedReply::Framing::ContentLength, 65'536},
                                           ReadCase{ScriptedReply::Framing::Chunked, 16'384},
                                           ReadCase{ScriptedReply::Framing::CloseDelimited,
                                                    16'384}));

TEST(BodyReading, AnEmptyBodyFinishesWithLengthZero) {
  registerTestIdentity();
  ScriptedHttpServer server;
  server.on("/empty", ScriptedReply::ok());
  auto request = ASIHTTPRequest::requestWithURL(server.url("/empty"));
  RecordingDelegate delegate;
  ASSERT_TRUE(runAsynchronously(request, delegate));
  EXPECT_EQ(delegate.finished, 1);
  EXPECT_EQ(request->contentLength(), 0u);
  EXPECT_EQ(request->responseData(), "");
}

}  // namespace
}  // namespace nb::test

namespace nb::test {
namespace {

// Answers the n-th request on `path` as scripted in `replies` (the last one
// repeats).
void scriptInTurn(ScriptedHttpServer& server, const std::string& path,
                  std::vector<ScriptedReply> replies) {
  auto turn = std::make_shared<std::atomic<size_t>>(0);
  server.on(path, [replies, turn](const ScriptedRequest&) {
    const size_t at = turn->fetch_add(1);
    return replies[std::min(at, replies.size() - 1)];
  });
}

ScriptedReply dropped() {
  ScriptedReply reply;
  reply.dropBeforeHead = true;
  return reply;
}

TEST(DroppedConnections, OneDropBeforeAnyByteIsRetriedOnANewConnection) {
  registerTestIdentity();
  ScriptedHttpServer server;
  scriptInTurn(server, "/flaky", {dropped(), ScriptedReply::ok("second time")});
  auto request = http::ASIHTTPRequest::requestWithURL(server.url("/flaky"));
  request->startSynchronous();
  EXPECT_EQ(errorCode(*request), 0);
  EXPECT_EQ(request->responseString(), "second time");
  EXPECT_EQ(request->retryCount(), 1);
  EXPECT_EQ(server.acceptedConnections(), 2);
}

TEST(DroppedConnections, ASecondDropFailsWithCode1) {
  registerTestIdentity();
  ScriptedHttpServer server;
  scriptInTurn(server, "/dead", {dropped()});
  auto request = http::ASIHTTPRequest::requestWithURL(server.url("/dead"));
  request->startSynchronous();
  EXPECT_EQ(errorCode(*request), http::ASIConnectionFailureErrorType);
  EXPECT_EQ(request->error()->localizedDescription(), "A connection failure occurred");
  EXPECT_EQ(server.requests().size(), 2u);
}

TEST(DroppedConnections, ADropMidBodyIsNotRetriedAndEachByteArrivesOnce) {
  registerTestIdentity();
  ScriptedHttpServer server;
  ScriptedReply half = ScriptedReply::ok(std::string(200'000, 'h'));
  half.dropAfterBodyBytes = 100'000;
  scriptInTurn(server, "/half", {half, ScriptedReply::ok("again")});
  auto request = http::ASIHTTPRequest::requestWithURL(server.url("/half"));
  RecordingDelegate delegate;
  delegate.takesData = true;
  ASSERT_TRUE(runAsynchronously(request, delegate));
  EXPECT_EQ(delegate.failed, 1);
  EXPECT_EQ(errorCode(*request), http::ASIConnectionFailureErrorType);
  EXPECT_EQ(delegate.data, std::string(100'000, 'h'));
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST(DroppedConnections, AKeptConnectionTheServerClosedServesTheNextRequestAnew) {
  registerTestIdentity();
  ScriptedHttpServer server;
  ScriptedReply closing = ScriptedReply::ok("one");
  closing.closeAfter = true;  // while the head says nothing of closing
  server.on("/one", closing);
  server.on("/two", ScriptedReply::ok("two"));
  auto first = http::ASIHTTPRequest::requestWithURL(server.url("/one"));
  first->startSynchronous();
  auto second = http::ASIHTTPRequest::requestWithURL(server.url("/two"));
  second->startSynchronous();
  EXPECT_EQ(errorCode(*second), 0);
  EXPECT_EQ(second->responseString(), "two");
}

// The bytes the scripted server generates for a large body.
void expectGeneratedBody(const std::string& body, size_t size) {
  ASSERT_EQ(body.size(), size);
  for (size_t i = 0; i < body.size(); i += 4099) {
    ASSERT_EQ(body[i], static_cast<char>('a' + (i % (256 * 1024)) % 26)) << i;
  }
}

constexpr size_t kBigBody = 10u << 20;

// A request for a ten-mebibyte chunked body generated by `server`.
std::shared_ptr<http::ASIHTTPRequest> requestBigChunkedBody(ScriptedHttpServer& server) {
  ScriptedReply big;
  big.generatedBytes = kBigBody;
  big.framing = ScriptedReply::Framing::Chunked;
  server.on("/big", big);
  return http::ASIHTTPRequest::requestWithURL(server.url("/big"));
}

TEST(BodyReading, TenMebibytesChunkedArriveByteExact) {
  registerTestIdentity();
  ScriptedHttpServer server;
  auto request = requestBigChunkedBody(server);
  request->startSynchronous();
  ASSERT_EQ(errorCode(*request), 0);
  expectGeneratedBody(request->responseData().value_or(""), kBigBody);
}

TEST(BodyReading, TenMebibytesChunkedReachADataDelegateByteExact) {
  registerTestIdentity();
  ScriptedHttpServer server;
  auto request = requestBigChunkedBody(server);
  RecordingDelegate delegate;
  delegate.takesData = true;
  ASSERT_TRUE(runAsynchronously(request, delegate));
  EXPECT_EQ(delegate.finished, 1);
  expectGeneratedBody(delegate.data, kBigBody);
  EXPECT_EQ(request->responseData().value_or(""), "");  // kept nothing
}

TEST(BodyReading, ADataDelegateGetsTheGzipBytesAsSent) {
  registerTestIdentity();
  ScriptedHttpServer server;
  std::string text;
  for (int i = 0; i < 20'000; ++i) text += std::to_string(i) + ",";
  const std::string sent = http::ASIDataCompressor::compressData(text, nullptr).value();
  server.on("/gz", ScriptedReply::ok(sent).header("Content-Encoding", "gzip"));
  auto request = http::ASIHTTPRequest::requestWithURL(server.url("/gz"));
  RecordingDelegate delegate;
  delegate.takesData = true;
  ASSERT_TRUE(runAsynchronously(request, delegate));
  EXPECT_EQ(delegate.finished, 1);
  EXPECT_EQ(delegate.data, sent);
  EXPECT_EQ(request->rawResponseData().value_or(""), "");
  EXPECT_EQ(request->responseData().value_or(""), "");
}

}  // namespace
}  // namespace nb::test
