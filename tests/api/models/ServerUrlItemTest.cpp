#include <gtest/gtest.h>

#include "api/models/ServerUrlItem.h"
#include "foundation/json/Json.h"

namespace nb {
namespace {

struct HostCase {
  const char* host;
  const char* port;
  const char* https;
  bool preferHttps;
  const char* expected;
  bool httpsAfter;
};

TEST(ServerUrlItem, HostWithPort) {
  const HostCase cases[] = {
      {"h", "80", "443", true, "h/up", true},
      {"h", "80", "443", false, "h/up", false},
      {"h", "8080", "0", true, "h:8080/up", false},
      {"h", "0", "8443", false, "h:8443/up", true},
      {"h", "0", "443", false, "h/up", true},
      {"h", "81", "444", true, "h:444/up", true},
      {"h", "81", "444", false, "h:81/up", false},
      {"h", "", "", true, "h/up", true},
      {"h", "0", "0", true, "", true},
      {"h", "0", "0", false, "", false},
      {"", "80", "443", false, "", false},
      {"", "0", "0", true, "", true},
  };
  for (const HostCase& c : cases) {
    ServerUrlItem item;
    item.strHost = c.host;
    item.strPort = c.port;
    item.strHttps = c.https;
    item.strPath = "up";
    bool https = c.preferHttps;
    EXPECT_EQ(item.hostWithPort(https), c.expected) << c.host << " " << c.port << " " << c.https;
    EXPECT_EQ(https, c.httpsAfter) << c.host << " " << c.port << " " << c.https;
  }
}

TEST(ServerUrlItem, ReadsPortsGivenAsNumbersAsText) {
  auto json = objectFromJSONString(
      R"({"hostname":"up.example","port":0,"https":"8443","path":"","sign":"s","dateline":"1700000000"})");
  ASSERT_TRUE(json);
  auto item = BaseForJosnOrObject::init<ServerUrlItem>(*json);
  EXPECT_EQ(item.strPort, "0");
  EXPECT_EQ(item.strHttps, "8443");
  EXPECT_EQ(item.strSign, "s");
  EXPECT_EQ(item.ullDateline, 1700000000u);
  bool https = false;
  EXPECT_EQ(item.hostWithPort(https), "up.example:8443");
  EXPECT_TRUE(https);
}

}  // namespace
}  // namespace nb
