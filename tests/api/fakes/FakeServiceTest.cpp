// The fake service polices what every later test of the service relies on,
// so its own checks are tested here against fixed vectors.

#include <string>

#include <gtest/gtest.h>

#include "api/calls/NBHTTPRequest.h"
#include "support/FakeService.h"
#include "support/FakeStandardEndpoints.h"

namespace nb::test {
namespace {

// HMAC-SHA1 vectors computed outside this code base with the openssl tool.
TEST(FakeSignatureTest, SignsSortedRawValuesJoinedByLineFeeds) {
  const FakeParams params = {{"token", "abc"}, {"mount_id", "12"}, {"fullpath", "a/b.txt"}, {"machine", "mac"}};
  EXPECT_EQ(fakesig::expectedSign(params, {}), "xOMqgkG3rfaVSs38bgNwxV6S1ew%3D");
  EXPECT_EQ(fakesig::expectedSign({{"x", "v2"}}, {}), "zx%2BvH%2FQyHMXZN%2Bb06tARA7PdxQU%3D");
  EXPECT_EQ(fakesig::expectedSign({}, {}), "vnrdI%2FuHKaKYoSPV3nHbkkTCB%2Fo%3D");
}

TEST(FakeSignatureTest, ReadsFormsInWireOrderDecodingOnce) {
  const FakeParams expected = {{"b", "a b&c"}, {"a", "%3D"}, {"e", ""}};
  EXPECT_EQ(fakesig::parseForm("b=a+b%26c&a=%253D&e="), expected);
}

class FakeServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tokens_ = service_.tokens().issue();
    service_.on("POST", "/1/thing", [](const FakeCall& call) {
      return FakeReply::json({{"got", call.param("x").value_or("")}});
    });
  }

  NBHTTPResponse post(const std::string& path, const std::string& form) {
    NBHTTPRequest request(service_.baseUrl() + path, "POST",
                          platform::HttpHeaders{{"Content-Type", "application/x-www-form-urlencoded"}}, form);
    return request.connectNetSyncWithResponse(10, TransportSettings{});
  }

  // A correctly signed form for token and x=v2, its sign encoded twice.
  std::string signedForm(const std::string& token) const {
    const FakeParams params = {{"token", token}, {"x", "v2"}};
    return "token=" + token + "&x=v2&sign=" + fakesig::urlEncode(fakesig::expectedSign(params, {}));
  }

  FakeService service_;
  FakeTokenPair tokens_;
};

TEST_F(FakeServiceTest, SignedCallWithLiveTokenReachesTheHandler) {
  const auto response = post("/1/thing", signedForm(tokens_.accessToken));
  EXPECT_EQ(response.statusCode, 200);
  EXPECT_EQ(response.body, R"({"got":"v2"})");
  EXPECT_EQ(response.allHeaderFields.find("X-SERVER"), "NUBREN");
  const auto calls = service_.callsTo("/1/thing");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].signatureValid, true);
  EXPECT_EQ(calls[0].paramNames(), (std::vector<std::string>{"token", "x", "sign"}));
}

TEST_F(FakeServiceTest, RefusesBadSignatures) {
  const std::string token = tokens_.accessToken;
  const std::string good = fakesig::urlEncode(fakesig::expectedSign({{"token", token}, {"x", "v2"}}, {}));
  const std::string forms[] = {
      "token=" + token + "&x=v2",                            // no sign
      "token=" + token + "&x=v3&sign=" + good,               // value changed
      "token=" + token + "&x=v2&sign=" + good + "&late=1",   // a parameter after sign
      "token=" + token + "&x=v2&sign=" + fakesig::expectedSign({{"token", token}, {"x", "v2"}}, {}),  // encoded once only
  };
  for (const auto& form : forms) {
    const auto response = post("/1/thing", form);
    EXPECT_EQ(response.statusCode, 400) << form;
    EXPECT_NE(response.body.find(std::to_string(FakeService::kBadSignature)), std::string::npos);
    EXPECT_EQ(service_.calls().back().signatureValid, false) << form;
  }
}

TEST_F(FakeServiceTest, RefusesExpiredAndUnknownTokens) {
  service_.tokens().expire(tokens_.accessToken);
  auto response = post("/1/thing", signedForm(tokens_.accessToken));
  EXPECT_EQ(response.statusCode, 401);
  EXPECT_NE(response.body.find("40102"), std::string::npos);

  response = post("/1/thing", signedForm("nobody"));
  EXPECT_EQ(response.statusCode, 401);
  EXPECT_NE(response.body.find("40101"), std::string::npos);

  const auto fresh = service_.tokens().refresh(tokens_.refreshToken);
  ASSERT_TRUE(fresh.has_value());
  EXPECT_EQ(post("/1/thing", signedForm(fresh->accessToken)).statusCode, 200);
  EXPECT_FALSE(service_.tokens().refresh(tokens_.refreshToken).has_value());
}

TEST_F(FakeServiceTest, FaultsPlayInOrderThenTheEndpointAnswers) {
  struct Case {
    FakeFault fault;
    int64_t status;
    std::string body;
    std::optional<std::string> marker;
  };
  const Case cases[] = {
      {FakeFault::errorCode(40101, 401, "expired"), 401, R"({"error_code":40101,"error_msg":"expired"})", "NUBREN"},
      {FakeFault::bareStatus(503), 503, "", "NUBREN"},
      {FakeFault::body("[1,2]"), 200, "[1,2]", "NUBREN"},
      {FakeFault::body(""), 200, "", "NUBREN"},
      {FakeFault::noMarker(), 200, R"({"got":"v2"})", std::nullopt},
      {FakeFault::lowerCaseMarker(), 200, R"({"got":"v2"})", "nubren"},
  };
  for (const auto& c : cases) service_.fail("/1/thing", c.fault.times(1));
  for (const auto& c : cases) {
    const auto response = post("/1/thing", signedForm(tokens_.accessToken));
    EXPECT_EQ(response.statusCode, c.status) << c.body;
    EXPECT_EQ(response.body, c.body);
    EXPECT_EQ(response.allHeaderFields.find("X-SERVER"), c.marker) << c.body;
  }
  EXPECT_EQ(post("/1/thing", signedForm(tokens_.accessToken)).statusCode, 200);
}

TEST_F(FakeServiceTest, UnknownEndpointAnswers404WithTheMarker) {
  const auto response = post("/nowhere", "a=1");
  EXPECT_EQ(response.statusCode, 404);
  EXPECT_EQ(response.allHeaderFields.find("X-SERVER"), "NUBREN");
  EXPECT_EQ(service_.callsTo("/nowhere").size(), 1u);
}

TEST_F(FakeServiceTest, TokenEndpointTradesALiveRefreshTokenOnce) {
  installTokenEndpoint(service_);
  const auto refreshWith = [&](const std::string& refreshToken) {
    const FakeParams params = {{"grant_type", "refresh_token"}, {"refresh_token", refreshToken}};
    return post("/oauth2/token2", "grant_type=refresh_token&refresh_token=" + refreshToken +
                                      "&sign=" + fakesig::urlEncode(fakesig::expectedSign(params, {})));
  };
  const auto first = refreshWith(tokens_.refreshToken);
  ASSERT_EQ(first.statusCode, 200) << first.body;
  const auto answer = nlohmann::json::parse(first.body);
  EXPECT_EQ(service_.tokens().state(answer.at("access_token")), FakeTokens::State::Live);
  EXPECT_EQ(service_.tokens().state(tokens_.accessToken), FakeTokens::State::Expired);

  const auto again = refreshWith(tokens_.refreshToken);
  EXPECT_EQ(again.statusCode, 400);
  EXPECT_NE(again.body.find("invalid_grant"), std::string::npos);
}

}  // namespace
}  // namespace nb::test
