#include "platform/CurlEasy.h"

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "support/FakeService.h"

namespace nb::platform {
namespace {

using test::FakeCall;
using test::FakeFault;
using test::FakeReply;
using test::FakeService;

CurlResult get(const std::string& url, std::chrono::seconds timeout = std::chrono::seconds(10)) {
  CurlEasy curl;
  return curl.perform(CurlExchange{.url = url, .timeout = timeout});
}

TEST(CurlEasyTest, EnvironmentProxyIsIgnoredWhenNoneWasChosen) {
  FakeService service;
  service.on("GET", "/echo", [](const FakeCall&) { return FakeReply::json({{"ok", 1}}); }, test::kOpenEndpoint);
  const char* saved = std::getenv("http_proxy");
  const std::optional<std::string> before = saved ? std::optional<std::string>(saved) : std::nullopt;
  ::setenv("http_proxy", "http://127.0.0.1:9", 1);
  const CurlResult result = get(service.baseUrl() + "/echo");
  before ? ::setenv("http_proxy", before->c_str(), 1) : ::unsetenv("http_proxy");
  EXPECT_TRUE(result.answered) << result.error;
  EXPECT_EQ(result.status, 200);
  EXPECT_EQ(result.failure, TransportFailure::None);
}

TEST(CurlEasyTest, FailuresSayWhereTheyHappened) {
  std::string closed;
  {
    FakeService gone;
    closed = gone.baseUrl() + "/x";
  }
  FakeService untrusted(FakeService::Options{.https = true});
  FakeService plain;
  FakeService slow;
  slow.on("GET", "/x", [](const FakeCall&) { return FakeReply::json({{"ok", 1}}); }, test::kOpenEndpoint);
  slow.fail("/x", FakeFault::slow(std::chrono::seconds(5)));
  struct Case {
    std::string name, url;
    TransportFailure failure;
    std::chrono::seconds timeout{10};  // a handshake may be slow on a loaded machine
  };
  const Case cases[] = {
      {"refused", closed, TransportFailure::Connect},
      {"untrusted certificate", untrusted.baseUrl() + "/x", TransportFailure::Tls},
      {"no TLS on the port", "https://" + plain.host() + "/x", TransportFailure::Tls},
      {"stalled answer", slow.baseUrl() + "/x", TransportFailure::Timeout, std::chrono::seconds(1)},
  };
  for (const auto& c : cases) {
    const CurlResult result = get(c.url, c.timeout);
    EXPECT_FALSE(result.answered) << c.name;
    EXPECT_EQ(result.failure, c.failure) << c.name << ": " << result.error;
  }
}

}  // namespace
}  // namespace nb::platform
