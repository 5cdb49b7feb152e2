#include <gtest/gtest.h>

#include "api/calls/UtilSso.h"
#include "support/FakeAppState.h"
#include "support/FakeSignature.h"
#include "support/ManualClock.h"

namespace nb {
namespace {

namespace fakesig = test::fakesig;

// The query's members as they stand in the URL (not decoded).
std::vector<std::pair<std::string, std::string>> rawQuery(const std::string& url) {
  std::vector<std::pair<std::string, std::string>> members;
  std::string_view rest = std::string_view(url).substr(url.find('?') + 1);
  while (!rest.empty()) {
    const size_t amp = rest.find('&');
    const std::string_view member = rest.substr(0, amp);
    const size_t eq = member.find('=');
    members.emplace_back(std::string(member.substr(0, eq)), std::string(member.substr(eq + 1)));
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
  }
  return members;
}

class UtilSso : public ::testing::Test {
 protected:
  void SetUp() override {
    app_->setLanguage("zh-tw");
    app_->setUseHttps(true);
  }
  std::string sign(const std::string& url, const std::string& token, const std::string& t,
                   const std::string& n) {
    // Sorted by name: n, t, token, url; raw values joined with "\n".
    return fakesig::hmacSha1Base64(fakesig::kServiceKey, n + "\n" + t + "\n" + token + "\n" + url);
  }

  std::shared_ptr<test::ManualClock> clock_ = std::make_shared<test::ManualClock>(1'700'000'000);
  test::ScopedClockOverride clockOverride_{clock_};
  test::ScopedAppState app_;
  std::uint32_t random_ = 123456;
  Util::RandomSource random() {
    return [this] { return random_; };
  }
};

TEST_F(UtilSso, QueryMembersAndSignature) {
  const std::string target = "http://web.example/a?b=1&c=d e";
  const std::string url = Util::mixtureurl(target, "http://web.example", "tok123", random());
  ASSERT_EQ(url.rfind("https://web.example/account/sso?url=", 0), 0u) << url;
  const auto q = rawQuery(url);
  ASSERT_EQ(q.size(), 6u) << url;
  const char* names[] = {"url", "token", "t", "n", "s", "hl"};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(q[i].first, names[i]);
  EXPECT_EQ(fakesig::urlDecode(q[0].second), target);
  EXPECT_EQ(q[0].second.find_first_of("&?=: /"), std::string::npos) << q[0].second;
  EXPECT_EQ(q[1].second, "tok123");
  EXPECT_EQ(q[2].second, "1700000000");
  EXPECT_EQ(q[3].second, std::to_string(123456 % 65535));
  EXPECT_EQ(fakesig::urlDecode(q[4].second), sign(target, "tok123", "1700000000", "57921"));
  EXPECT_EQ(q[5].second, "zh-tw");
}

TEST_F(UtilSso, SameSecondDiffersOnlyInNonceAndSignature) {
  const std::string first = Util::mixtureurl("http://x/y", "web.example", "tok", random());
  random_ = 7;
  const std::string second = Util::mixtureurl("http://x/y", "web.example", "tok", random());
  const auto a = rawQuery(first);
  const auto b = rawQuery(second);
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].first == "n" || a[i].first == "s") {
      EXPECT_NE(a[i].second, b[i].second);
    } else {
      EXPECT_EQ(a[i].second, b[i].second) << a[i].first;
    }
  }
  EXPECT_EQ(b[3].second, "7");
  clock_->advance(std::chrono::seconds(3));
  EXPECT_EQ(rawQuery(Util::mixtureurl("http://x/y", "web.example", "tok", random()))[2].second,
            "1700000003");
}

TEST_F(UtilSso, NonceStaysBelow65535) {
  for (const std::uint32_t value : {0u, 65534u, 65535u, 0xFFFFFFFFu, 0xFFFFFFFEu}) {
    random_ = value;
    const auto q = rawQuery(Util::mixtureurl("u", "h", "t", random()));
    EXPECT_EQ(q[3].second, std::to_string(value % 65535)) << value;
  }
  const auto q = rawQuery(Util::mixtureurl("u", "h", "t"));  // the system's random source
  EXPECT_LT(std::stoul(q[3].second), 65535u);
}

TEST_F(UtilSso, TokenIsEncodedButSignedRaw) {
  const std::string token = "a&b=c";
  const auto q = rawQuery(Util::mixtureurl("u", "http://h", token, random()));
  ASSERT_EQ(q.size(), 6u);
  EXPECT_EQ(fakesig::urlDecode(q[1].second), token);
  EXPECT_EQ(fakesig::urlDecode(q[4].second), sign("u", token, "1700000000", "57921"));
}

TEST_F(UtilSso, SchemeFollowsTheHttpsChoice) {
  app_->setUseHttps(false);
  EXPECT_EQ(Util::mixtureurl("u", "http://h", "t", random()).rfind("http://h/account/sso?", 0), 0u);
  app_->setLanguage("en-us");
  EXPECT_TRUE(Util::mixtureurl("u", "http://h", "t", random()).ends_with("&hl=en-us"));
}

}  // namespace
}  // namespace nb
