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
      {"http://h/p?access_token=a&key=k&keys=x", "http://h/p?access_token=***&key=***&keys=x"},
  };
  for (const auto& c : cases) EXPECT_EQ(maskSecretsInUrl(c.url), c.masked) << c.url;
}

TEST(UrlMaskTest, MasksCredentialValuesInBodies) {
  struct Case {
    const char* body;
    const char* masked;
  };
  const Case cases[] = {
      {"", ""},
      {R"({"access_token":"a1","refresh_token":"r\"1","expires_in":7200,"api_host":"h"})",
       R"({"access_token":"***","refresh_token":"***","expires_in":7200,"api_host":"h"})"},
      {R"( { "token" : 123 , "password":null, "key":true, "name":"token"})",
       R"( { "token" : *** , "password":***, "key":***, "name":"token"})"},
      {R"([{"data":{"key":"k","tokens":"t"}},{"token":{"key":"inner"}}])",
       R"([{"data":{"key":"***","tokens":"t"}},{"token":{"key":"***"}}])"},
      // Cut short: the rest of the secret goes too.
      {R"({"ok":1,"access_token":"abc)", R"({"ok":1,"access_token":"***")"},
      {R"({"refresh_token")", R"({"refresh_token")"},
      {"access_token=a&x=1&password=p", "access_token=***&x=1&password=***"},
      {"<html>token</html>", "<html>token</html>"},
  };
  for (const auto& c : cases) EXPECT_EQ(maskSecretsInBody(c.body), c.masked) << c.body;
}

}  // namespace
}  // namespace nb
