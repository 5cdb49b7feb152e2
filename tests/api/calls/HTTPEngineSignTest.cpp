#include <string>

#include <gtest/gtest.h>

#include "api/calls/HTTPEngine.h"
#include "support/FakeSignature.h"

namespace nb {
namespace {

TEST(HTTPEngineSignTest, SortsByByteOrderAndJoinsRawValues) {
  SignKeyList list;
  HTTPEngine::addValueForString(list, "token", "abc");
  HTTPEngine::addValueForInteger(list, "mount_id", 12);
  HTTPEngine::addValueForString(list, "fullpath", "a/b.txt");
  HTTPEngine::addValueForString(list, "machine", "mac");
  // The vector the fake service is checked against, from the openssl tool.
  EXPECT_EQ(HTTPEngine::getAuth(list), "xOMqgkG3rfaVSs38bgNwxV6S1ew%3D");
  EXPECT_EQ(list.front().strKey, "token");

  const SignKeyList cased = {{"name", "2"}, {"Name", "1"}};
  const SignKeyList sorted = {{"Name", "1"}, {"name", "2"}};
  EXPECT_EQ(HTTPEngine::getAuth(cased), HTTPEngine::getAuth(sorted));
  EXPECT_NE(HTTPEngine::getAuth(cased), HTTPEngine::getAuth({{"Name", "2"}, {"name", "1"}}));
  EXPECT_EQ(HTTPEngine::getAuth({{"a", "x"}, {"b", ""}}, "secret"),
            test::fakesig::hmacSha1Base64("secret", "x\n"));
}

TEST(HTTPEngineSignTest, FormEncodesValuesNotNames) {
  const SignKeyList list = {{"q.x", "a&b=c+d. e"}, {"e", ""}, {"u", "\xC3\xA9"}};
  EXPECT_EQ(HTTPEngine::getKeyByString(list), "q.x=a%26b%3Dc%2Bd%2E%20e&e=&u=%C3%A9");
  EXPECT_EQ(HTTPEngine::getKeyByString({}), "");
}

TEST(HTTPEngineSignTest, SignatureIsEncodedTwiceInTheForm) {
  SignKeyList list = {{"x", "v2"}};
  HTTPEngine::addValueForString(list, "sign", HTTPEngine::getAuth(list));
  EXPECT_EQ(HTTPEngine::getKeyByString(list), "x=v2&sign=zx%252BvH%252FQyHMXZN%252Bb06tARA7PdxQU%253D");
}

TEST(HTTPEngineSignTest, MarkerNeedsTheExactValue) {
  const std::pair<platform::HttpHeaders, bool> cases[] = {
      {{{"X-SERVER", "NUBREN"}}, true},  {{{"x-server", "NUBREN"}}, true},
      {{{"X-SERVER", "nubren"}}, false}, {{{"X-SERVER", ""}}, false},
      {{}, false},
  };
  for (const auto& [headers, marked] : cases) {
    EXPECT_EQ(HTTPEngine::checkResponseHeader(NBHTTPResponse{200, headers, ""}), marked);
  }
}

TEST(HTTPEngineSignTest, RepeatsOnlyExpiredTokensThreeTimes) {
  EXPECT_TRUE(HTTPEngine::checkError(40101, 0));
  EXPECT_TRUE(HTTPEngine::checkError(40102, 2));
  EXPECT_FALSE(HTTPEngine::checkError(40102, 3));
  EXPECT_FALSE(HTTPEngine::checkError(40100, 0));
  EXPECT_FALSE(HTTPEngine::checkError(40103, 0));
}

}  // namespace
}  // namespace nb
