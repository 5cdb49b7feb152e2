#include <sys/stat.h>

#include <fstream>

#include <gtest/gtest.h>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilUrl.h"
#include "support/FakeAppState.h"
#include "support/TempHome.h"

namespace nb::Util {
namespace {

namespace fs = std::filesystem;

TEST(UtilUrlForms, SchemeFollowsTheChoice) {
  struct Case {
    const char* url;
    bool https;
    const char* expected;
  };
  const Case cases[] = {
      {"http://a.com/x", true, "https://a.com/x"},
      {"http://a.com/x", false, "http://a.com/x"},
      {"https://a.com/x", true, "https://a.com/x"},
      {"https://a.com/x", false, "http://a.com/x"},
      {"a.com/x", true, "https://a.com/x"},
      {"a.com/x", false, "http://a.com/x"},
      {"HTTP://a.com", true, "https://HTTP://a.com"},
      {"HTTPS://a.com", false, "http://HTTPS://a.com"},
      {"", true, "https://"},
      {"http://http.com", true, "https://http.com"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(getDealWithHttpsOrHttpUrl(c.url, c.https), c.expected) << c.url << " " << c.https;
  }
}

TEST(UtilUrlForms, ChoiceComesFromTheApplicationState) {
  test::ScopedAppState app;
  EXPECT_EQ(getDealWithHttpsOrHttpUrl("http://a.com"), "http://a.com");
  EXPECT_EQ(CheckHttpWithUrl("a.com"), "http://a.com");
  app->setUseHttps(true);
  EXPECT_EQ(getDealWithHttpsOrHttpUrl("http://a.com"), "https://a.com");
  EXPECT_EQ(CheckHttpWithUrl("a.com"), "https://a.com");
  EXPECT_EQ(CheckHttpWithUrl("http://a.com"), "http://a.com");
  EXPECT_EQ(CheckHttpWithUrl("httpsomething"), "httpsomething");
}

TEST(UtilUrlForms, GmtDateIsEnglishWhateverTheLocale) {
  EXPECT_EQ(getGMTDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
  EXPECT_EQ(getGMTDate(1796749200), "Tue, 08 Dec 2026 17:00:00 GMT");
  EXPECT_EQ(getGMTDate(951782400), "Tue, 29 Feb 2000 00:00:00 GMT");
}

TEST(UtilUrlTexts, MissingTranslationFallsBackToAlternateThenKey) {
  test::ScopedAppState app;
  app->setLanguage("en-us");
  EXPECT_EQ(localizedStringForKey("文件已存在"), "A file with this name already exists");
  EXPECT_EQ(localizedStringForKey("没有这个词"), "没有这个词");
  EXPECT_EQ(localizedStringForKey("没有这个词", "fallback"), "fallback");
  EXPECT_EQ(getChangeTokenError("server said no"), "server said no");
  EXPECT_EQ(getChangeTokenError(""),
            "The request failed. Check the network connection and try again.");
}

TEST(UtilUrlTexts, UnregisteredStateReadsEnglish) {
  EXPECT_EQ(localizedStringForKey("网络未连接"), "The network is not connected");
}

TEST(UtilUrlTests, LinkPathAgainstConfigFolder) {
  struct Case {
    const char* folder;
    bool clash;
  };
  const Case cases[] = {
      {"/home/u/.veskocfg", true},     {"/HOME/U/.VeskoCfg/", true},
      {"/home/u/.veskocfg//", true},   {"/home/u/.veskocfg/1/x", true},
      {"/home/u", true},               {"/", true},
      {"/home/u/.veskocfgx", false},   {"/home/u/.vesko", false},
      {"/home/u/Documents", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(checkLinkPathHaveConfigPath(c.folder, "/home/u/.veskocfg"), c.clash) << c.folder;
  }
}

class ComputerIdTest : public test::TempHome {};

TEST_F(ComputerIdTest, MachineIdWinsHashedAndStable) {
  const fs::path machine = root() / "machine-id";
  const std::string raw = "0123456789abcdef0123456789abcdef";
  std::ofstream(machine) << "  " << raw << "\n";
  const std::string id = computerIdFrom(machine, root() / "fallback");
  EXPECT_EQ(id.size(), 32u);
  EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(id, raw);
  // Neither the raw value nor a plain digest of it.
  EXPECT_NE(id, md5HexDigest(raw));
  EXPECT_EQ(sha1HexDigest(raw).find(id), std::string::npos);
  EXPECT_EQ(computerIdFrom(machine, root() / "fallback"), id);  // stable
  EXPECT_FALSE(fs::exists(root() / "fallback"));
  std::ofstream(machine) << "fedcba9876543210fedcba9876543210\n";
  EXPECT_NE(computerIdFrom(machine, root() / "fallback"), id);
}

TEST_F(ComputerIdTest, EmptyOrMissingMachineIdGivesAKeptRandomId) {
  const fs::path machine = root() / "machine-id";
  std::ofstream(machine) << "\n";
  const fs::path kept = home() / ".veskocfg" / "computerid";
  const std::string first = computerIdFrom(machine, kept);
  EXPECT_EQ(first.size(), 32u);
  EXPECT_EQ(computerIdFrom(root() / "absent", kept), first);
  struct stat st{};
  ASSERT_EQ(::stat(kept.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(kept.parent_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);
}

TEST_F(ComputerIdTest, WebLoginKeyIsAFreshSha1) {
  const std::string key = getwebloginkey();
  EXPECT_EQ(key.size(), 40u);
  EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST_F(ComputerIdTest, UnwritableFallbackStillGivesAnId) {
  EXPECT_FALSE(computerIdFrom(root() / "absent", root() / "no" / "such" / "dir" / "id").empty());
  EXPECT_FALSE(getcomputerid().empty());
}

}  // namespace
}  // namespace nb::Util
