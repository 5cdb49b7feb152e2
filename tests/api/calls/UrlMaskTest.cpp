#include <gtest/gtest.h>

#include "api/calls/UrlMask.h"

namespace nb {
namespace {

TEST(UrlMaskTest, MasksOnlyCredentialValues) {
  struct Case {
    const char* url;
    const char* masked;
  };
  const Case cases[] = {
      {"https://h/p", "https://h/p"},
      {"https://h/p?", "https://h/p?"},
      {"https://h/p?token=a&sign=b%253D", "https://h/p?token=***&sign=***"},
      {"http://h/p?a=1&refresh_token=r&password=pw&b=2", "http://h/p?a=1&refresh_token=***&password=***&b=2"},
      {"http://h/p?mytoken=x&token_x=y&nbkey=k&ticket=t", "http://h/p?mytoken=x&token_x=y&nbkey=***&ticket=***"},
      {"http://h/p?token&sign=&x=1#frag", "http://h/p?token&sign=***&x=1#frag"},
  };
  for (const auto& c : cases) EXPECT_EQ(maskSecretsInUrl(c.url), c.masked) << c.url;
}

}  // namespace
}  // namespace nb
