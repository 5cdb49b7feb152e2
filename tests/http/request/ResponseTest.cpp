// Reading responses: keep-alive decisions, lengths, encodings, gzip bodies
// and the one failure report.

#include <gtest/gtest.h>
#include <zlib.h>

#include "http/HttpTestSupport.h"

namespace nb::test {
namespace {

using http::ASIHTTPRequest;

std::string gzipped(const std::string& text) {
  z_stream stream{};
  deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(text.size() + 64, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

class ResponseTest : public ::testing::Test {
 protected:
  void SetUp() override { registerTestIdentity(); }

  std::shared_ptr<ASIHTTPRequest> fetch(const ScriptedReply& reply,
                                        const std::function<void(ASIHTTPRequest&)>& setUp = {}) {
    server_.on("/r", reply);
    auto request = ASIHTTPRequest::requestWithURL(server_.url("/r"));
    if (setUp) setUp(*request);
    request->startSynchronous();
    return request;
  }

  ScriptedHttpServer server_;
};

struct KeepAliveCase {
  const char* version;
  std::vector<std::pair<std::string, std::string>> headers;
  bool reusable;
  double lifetime;
};

class KeepAlive : public ResponseTest, public ::testing::WithParamInterface<KeepAliveCase> {};

TEST_P(KeepAlive, DecisionAndLifetime) {
  const KeepAliveCase& c = GetParam();
  ScriptedReply reply = ScriptedReply::ok("k");
  reply.version = c.version;
  reply.headers = c.headers;
  const auto request = fetch(reply);
  EXPECT_EQ(errorCode(*request), 0);
  EXPECT_EQ(request->connectionCanBeReused(), c.reusable);
  EXPECT_EQ(request->persistentConnectionTimeoutSeconds, c.lifetime);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeepAlive,
    ::testing::Values(KeepAliveCase{"HTTP/1.1", {}, true, 60},
                      KeepAliveCase{"HTTP/1.0", {{"Connection", "Keep-Alive"}}, true, 60},
                      KeepAliveCase{"HTTP/1.0", {}, false, 60},
                      KeepAliveCase{"HTTP/1.1", {{"Connection", "close"}}, false, 60},
                      KeepAliveCase{"HTTP/1.1", {{"Keep-Alive", "timeout=5, max=100"}}, true, 5},
                      KeepAliveCase{"HTTP/1.1", {{"Keep-Alive", "timeout=5, max=5"}}, false, 60},
                      KeepAliveCase{"HTTP/1.1", {{"Keep-Alive", "timeout=5"}}, false, 60},
                      KeepAliveCase{"HTTP/1.1", {{"Keep-Alive", "max=10"}}, true, 0}));

TEST_F(ResponseTest, PersistenceOffNeverMarksTheConnectionReusable) {
  const auto request = fetch(ScriptedReply::ok("k"), [](ASIHTTPRequest& r) {
    r.shouldAttemptPersistentConnection = false;
  });
  EXPECT_FALSE(request->connectionCanBeReused());
}

TEST_F(ResponseTest, ContentLengthIsDecimal) {
  ScriptedReply reply;
  reply.framing = ScriptedReply::Framing::AsGiven;
  reply.header("Content-Length", "010");
  reply.body = "0123456789";
  const auto request = fetch(reply);
  EXPECT_EQ(errorCode(*request), 0);
  EXPECT_EQ(request->contentLength(), 10u);
  EXPECT_EQ(request->responseData(), "0123456789");
}

TEST_F(ResponseTest, ChunkedAndCloseDelimitedBodiesArrive) {
  for (const auto framing :
       {ScriptedReply::Framing::Chunked, ScriptedReply::Framing::CloseDelimited}) {
    ScriptedReply reply = ScriptedReply::ok(std::string(70000, 'c'));
    reply.framing = framing;
    const auto request = fetch(reply);
    EXPECT_EQ(errorCode(*request), 0);
    EXPECT_EQ(request->contentLength(), 70000u);
    EXPECT_EQ(request->responseData()->size(), 70000u);
  }
}

TEST_F(ResponseTest, CharsetChoosesTheEncodingOfTheString) {
  struct Case {
    const char* contentType;
    std::string body;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {"text/plain; charset=utf-8", "caf\xC3\xA9", "caf\xC3\xA9"},
      {"text/plain; charset=utf-8", "bad\xFF", std::nullopt},
      {"text/plain; charset=nonsense", "caf\xE9", "caf\xC3\xA9"},
      {"text/plain", "caf\xE9", "caf\xC3\xA9"},
  };
  for (const Case& c : cases) {
    const auto request = fetch(ScriptedReply::ok(c.body).header("Content-Type", c.contentType));
    EXPECT_EQ(request->responseString(), c.text) << c.contentType;
  }
}

TEST_F(ResponseTest, GzipBodyIsInflatedOnDemandOrWhileReading) {
  const std::string text(5000, 'z');
  ScriptedReply reply = ScriptedReply::ok(gzipped(text)).header("Content-Encoding", "gzip");
  const auto lazy = fetch(reply);
  EXPECT_TRUE(lazy->isResponseCompressed());
  EXPECT_EQ(lazy->responseData(), text);
  EXPECT_EQ(lazy->responseData(), text);  // afresh at every call
  EXPECT_EQ(lazy->rawResponseData(), gzipped(text));

  const auto raw = fetch(reply, [](ASIHTTPRequest& r) {
    r.shouldWaitToInflateCompressedResponses = false;
  });
  // Inflated while reading: what was kept is already the text.
  EXPECT_EQ(raw->rawResponseData(), text);
  EXPECT_EQ(raw->responseData(), text);

  const auto corrupt =
      fetch(ScriptedReply::ok("not gzip").header("Content-Encoding", "x-gzip"));
  EXPECT_FALSE(corrupt->responseData());
}

TEST_F(ResponseTest, FailingTwiceReportsOnce) {
  server_.on("/r", ScriptedReply::ok());
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/r"));
  RecordingDelegate delegate;
  request->setDelegate(&delegate);
  std::thread([&] {
    request->failWithError(http::ASIRequestTimedOutError());
    request->failWithError(http::ASIRequestCancelledError());
  }).join();
  pumpMainThreadUntil([&] { return delegate.failed > 0; });
  pumpMainThread();
  EXPECT_EQ(delegate.failed, 1);
  EXPECT_EQ(errorCode(*request), http::ASIRequestTimedOutErrorType);
}

TEST_F(ResponseTest, A401WithoutCredentialsFailsWithCode3) {
  ScriptedReply denied = ScriptedReply::ok("no");
  denied.status = 401;
  denied.reason = "Unauthorized";
  denied.header("WWW-Authenticate", "Basic realm=\"r\"");
  const auto request = fetch(denied);
  EXPECT_EQ(errorCode(*request), http::ASIAuthenticationErrorType);
  EXPECT_EQ(request->responseStatusCode(), 401);
}

}  // namespace
}  // namespace nb::test

namespace nb::test {
namespace {

TEST(RequestVariants, HeadCompanionAndHttp10AndCopy) {
  registerTestIdentity();
  ScriptedHttpServer server;
  server.on("/v", [](const ScriptedRequest& request) {
    ScriptedReply reply = ScriptedReply::ok(request.method == "HEAD" ? "" : "body");
    return reply;
  });
  auto main = http::ASIHTTPRequest::requestWithURL(server.url("/v"));
  main->addRequestHeader("X-Caller", "1");
  main->useHTTPVersionOne = true;
  auto head = main->HEADRequest();
  head->startSynchronous();
  EXPECT_EQ(errorCode(*head), 0);
  EXPECT_EQ(head->responseStatusCode(), 200);

  auto copied = main->copy();
  copied->startSynchronous();
  EXPECT_EQ(copied->responseString(), "body");

  const auto seen = server.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].method, "HEAD");
  EXPECT_EQ(seen[0].header("X-Caller"), "1");
  EXPECT_EQ(seen[0].version, "HTTP/1.0");
  EXPECT_EQ(seen[1].method, "GET");
  EXPECT_EQ(seen[1].header("X-Caller"), "1");
  EXPECT_EQ(seen[1].version, "HTTP/1.0");
}

TEST(RequestVariants, Base64) {
  EXPECT_EQ(http::ASIHTTPRequest::base64forData(""), "");
  EXPECT_EQ(http::ASIHTTPRequest::base64forData("ab?"), "YWI/");
  EXPECT_EQ(http::ASIHTTPRequest::base64forData("a"), "YQ==");
}

}  // namespace
}  // namespace nb::test
