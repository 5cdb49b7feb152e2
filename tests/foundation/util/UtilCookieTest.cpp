#include "foundation/util/UtilCookie.h"

#include <fstream>

#include "platform/AtomicFile.h"
#include "support/TempHome.h"

namespace nb {
namespace {

class UtilCookieTest : public test::TempHome {
 protected:
  std::string file() const { return (home() / "cfg/cookies.txt").string(); }
  std::string text() const { return platform::readWholeFile(file()).value_or(""); }
};

TEST_F(UtilCookieTest, StoresTheMarkerForTheParentDomainOnce) {
  EXPECT_TRUE(Util::checkCookieExist("www.example.com", file()));
  const std::string first = text();
  EXPECT_EQ(first.rfind(".example.com\tTRUE\t/\tFALSE\t", 0), 0u) << first;
  EXPECT_NE(first.find("\t_nb_client_mac_\t"), std::string::npos);
  EXPECT_FALSE(Util::checkCookieExist("www.example.com", file()));
  EXPECT_EQ(text(), first);
}

TEST_F(UtilCookieTest, AnyCookieTheHostWouldReceiveCounts) {
  const struct {
    const char* line;
    bool counts;
  } cases[] = {
      {".example.com\tTRUE\t/\tFALSE\t0\tsid\t1", true},
      {"#HttpOnly_www.example.com\tFALSE\t/\tFALSE\t0\tsid\t1", true},
      {"WWW.Example.com\tFALSE\t/\tFALSE\t0\tsid\t1", true},
      {"other.com\tFALSE\t/\tFALSE\t0\tsid\t1", false},
      {"ample.com\tFALSE\t/\tFALSE\t0\tsid\t1", false},
      {".example.com\tTRUE\t/app\tFALSE\t0\tsid\t1", false},
      {".example.com\tTRUE\t/\tTRUE\t0\tsid\t1", false},
      {"# .example.com\tTRUE\t/\tFALSE\t0\tsid\t1", false},
  };
  for (const auto& c : cases) {
    std::ofstream(home() / "cookies.txt") << c.line << "\n";
    EXPECT_EQ(Util::checkCookieExist("www.example.com:8080", (home() / "cookies.txt").string()),
              !c.counts)
        << c.line;
  }
}

TEST_F(UtilCookieTest, HostWithoutDotUsesTheWholeHost) {
  EXPECT_TRUE(Util::checkCookieExist("intranet", file()));
  EXPECT_EQ(text().rfind("intranet\tFALSE\t/\tFALSE\t", 0), 0u);
  EXPECT_FALSE(Util::checkCookieExist("", file()));
}

}  // namespace
}  // namespace nb
