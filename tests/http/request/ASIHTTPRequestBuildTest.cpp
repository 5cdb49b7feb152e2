// The request object's own rules: method and persistence, body and headers.

#include <gtest/gtest.h>

#include "http/request/ASIHTTPRequest.h"
#include "http/HttpTestSupport.h"

namespace nb::test {
namespace {

using http::ASIHTTPRequest;

struct BodyCase {
  const char* method;
  std::string body;  // appended once unless `append` is false
  bool append;
  std::vector<std::pair<std::string, std::string>> callerHeaders;
  const char* expectedMethod;
  std::optional<std::string> expectedContentLength;
};

class BodyRules : public ::testing::TestWithParam<BodyCase> {};

TEST_P(BodyRules, MethodContentLengthAndLibraryHeaders) {
  registerTestIdentity();
  const BodyCase& c = GetParam();
  auto request = ASIHTTPRequest::requestWithURL("http://127.0.0.1:1/x");
  request->setRequestMethod(c.method);
  for (const auto& [name, value] : c.callerHeaders) request->addRequestHeader(name, value);
  if (c.append) request->appendPostData(c.body);
  request->buildPostBody();
  request->buildRequestHeaders();
  const auto headers = request->requestHeaders();
  EXPECT_EQ(request->requestMethod(), c.expectedMethod);
  const std::string* length = headers.find("Content-Length");
  EXPECT_EQ(length ? std::optional<std::string>(*length) : std::nullopt, c.expectedContentLength);
  ASSERT_TRUE(headers.find("Accept-Encoding"));
  EXPECT_EQ(*headers.find("Accept-Encoding"), "gzip");
  EXPECT_FALSE(headers.contains("Cookie"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, BodyRules,
    ::testing::Values(
        BodyCase{"GET", "abcde", true, {}, "POST", "5"},
        BodyCase{"DELETE", "abc", true, {}, "POST", "3"},
        BodyCase{"HEAD", "abc", true, {}, "POST", "3"},
        BodyCase{"PUT", "abcd", true, {}, "PUT", "4"},
        BodyCase{"GET", "", true, {}, "GET", std::nullopt},
        BodyCase{"PUT", "ab", true, {{"Content-Length", "99"}}, "PUT", "2"},
        BodyCase{"GET", "", false, {{"Content-Length", "99"}}, "GET", "99"},
        BodyCase{"GET", "", false, {{"Accept-Encoding", "br"}}, "GET", std::nullopt}));

TEST(RequestHeaders, CallerUserAgentStaysAndOtherCaseDoesNotCount) {
  registerTestIdentity();
  auto own = ASIHTTPRequest::requestWithURL("http://127.0.0.1:1/x");
  own->addRequestHeader("User-Agent", "mine");
  own->buildRequestHeaders();
  EXPECT_EQ(*own->requestHeaders().find("User-Agent"), "mine");

  auto lower = ASIHTTPRequest::requestWithURL("http://127.0.0.1:1/x");
  lower->addRequestHeader("user-agent", "mine");
  lower->buildRequestHeaders();
  const auto headers = lower->requestHeaders();
  EXPECT_EQ(*headers.find("user-agent"), "mine");
  ASSERT_TRUE(headers.find("User-Agent"));
  EXPECT_NE(*headers.find("User-Agent"), "mine");
  EXPECT_EQ(headers.fields().front().first, "user-agent");  // insertion order kept
}

TEST(RequestHeaders, ReplacingAHeaderKeepsItsPlace) {
  auto request = ASIHTTPRequest::requestWithURL("http://127.0.0.1:1/x");
  request->addRequestHeader("A", "1");
  request->addRequestHeader("B", "2");
  request->addRequestHeader("A", "3");
  const auto fields = request->requestHeaders().fields();
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0], (std::pair<std::string, std::string>("A", "3")));
}

TEST(Persistence, MethodRuleSwitchesOffOneWayAndCallerMaySwitchBackOn) {
  auto putThenOn = ASIHTTPRequest::requestWithURL("http://127.0.0.1:1/x");
  putThenOn->setRequestMethod("PUT");
  EXPECT_FALSE(putThenOn->shouldAttemptPersistentConnection);
  putThenOn->shouldAttemptPersistentConnection = true;
  putThenOn->setRequestMethod("PUT");  // no change: no rule
  EXPECT_TRUE(putThenOn->shouldAttemptPersistentConnection);

  auto onThenPost = ASIHTTPRequest::requestWithURL("http://127.0.0.1:1/x");
  onThenPost->shouldAttemptPersistentConnection = true;
  onThenPost->setRequestMethod("POST");
  onThenPost->setRequestMethod("GET");
  EXPECT_FALSE(onThenPost->shouldAttemptPersistentConnection);

  auto bodyThenDelete = ASIHTTPRequest::requestWithURL("http://127.0.0.1:1/x");
  bodyThenDelete->appendPostData("x");
  bodyThenDelete->setRequestMethod("DELETE");
  EXPECT_FALSE(bodyThenDelete->shouldAttemptPersistentConnection);
}

TEST(PostBody, BytesAppendedAfterTheBuildAreNeverCounted) {
  auto request = ASIHTTPRequest::requestWithURL("http://127.0.0.1:1/x");
  request->setRequestMethod("PUT");
  request->appendPostData("abc");
  request->buildPostBody();
  request->appendPostData("defg");
  request->buildPostBody();
  EXPECT_EQ(request->postLength(), 3u);
  EXPECT_EQ(*request->requestHeaders().find("Content-Length"), "3");
}

TEST(PostBody, AFileThatCannotBeReadFailsWithCode8) {
  auto request = ASIHTTPRequest::requestWithURL("http://127.0.0.1:1/x");
  request->setPostBodyFilePath("/nonexistent/body");
  request->buildPostBody();
  ASSERT_TRUE(request->error());
  EXPECT_EQ(request->error()->code(), http::ASIFileManagementError);
  EXPECT_EQ(request->error()->localizedDescription(),
            "Failed to get attributes for file at path '/nonexistent/body'");
}

TEST(Defaults, AsMade) {
  auto request = ASIHTTPRequest::requestWithURL("http://127.0.0.1:1/x");
  EXPECT_EQ(request->requestMethod(), "GET");
  EXPECT_EQ(request->timeOutSeconds, 10);
  EXPECT_TRUE(request->shouldAttemptPersistentConnection);
  EXPECT_EQ(request->persistentConnectionTimeoutSeconds, 60);
  EXPECT_TRUE(request->validatesSecureCertificate);
  EXPECT_TRUE(request->shouldWaitToInflateCompressedResponses);
  EXPECT_EQ(request->defaultResponseEncoding, http::ASIISOLatin1StringEncoding);
  EXPECT_FALSE(request->responseData());
  EXPECT_FALSE(request->responseString());
}

}  // namespace
}  // namespace nb::test
