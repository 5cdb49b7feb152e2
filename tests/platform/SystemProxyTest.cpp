#include "platform/SystemProxy.h"

#include <gtest/gtest.h>

namespace nb::platform {
namespace {

TEST(SystemProxyTest, ResolverAnswersInCurlsForm) {
  struct Case {
    const char* uri;
    std::optional<std::string> proxy;
  };
  const Case cases[] = {
      {"direct://", ""},
      {"http://10.0.0.1:3128", "http://10.0.0.1:3128"},
      {"http://user:pw@proxy:8080", "http://user:pw@proxy:8080"},
      {"https://proxy:443", "https://proxy:443"},
      {"socks://s:1080", "socks5h://s:1080"},
      {"socks5://s:1080", "socks5h://s:1080"},
      {"socks4a://s:1080", "socks4a://s:1080"},
      {"socks4://s:1080", "socks4://s:1080"},
      {"ftp://p:21", std::nullopt},
      {"garbage", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(SystemProxy::curlProxyFrom(c.uri), c.proxy) << c.uri;
}

TEST(SystemProxyTest, AlwaysAtLeastOneWayOut) {
  // Whatever the machine's settings, the answer is never empty.
  EXPECT_FALSE(SystemProxy::proxiesFor("http://127.0.0.1:1/x?token=t").empty());
}

}  // namespace
}  // namespace nb::platform
