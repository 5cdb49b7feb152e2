// Reading bodies: the read sizes, gathered from what curl hands over.

#include <gtest/gtest.h>

#include "http/HttpTestSupport.h"

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
