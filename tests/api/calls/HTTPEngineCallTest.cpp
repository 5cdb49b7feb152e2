#include <string>

#include <gtest/gtest.h>

#include "api/calls/HTTPEngine.h"
#include "support/FakeAppState.h"
#include "support/FakeService.h"
#include "support/LogCapture.h"

namespace nb {
namespace {

using test::FakeCall;
using test::FakeFault;
using test::FakeReply;
using test::FakeService;

class HTTPEngineCallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tokens_ = service_.tokens().issue();
    service_.on("POST", "/1/thing", [](const FakeCall& call) {
      return FakeReply::json({{"echo", call.param("x").value_or("")}});
    });
    service_.on("GET", "/1/thing", [](const FakeCall&) { return FakeReply::json({{"ok", 1}}); });
    HTTPEngine::setTokenRefresher([this](const std::string&) {
      ++refreshes_;
      const auto pair = service_.tokens().issue();
      return pair.accessToken;
    });
  }
  void TearDown() override { HTTPEngine::setTokenRefresher({}); }

  RequestRet call(const std::string& method = "POST", const std::string& x = "v2") {
    HTTPEngine::Endpoint endpoint{.method = method, .url = service_.baseUrl() + "/1/thing", .timeout = 1};
    return HTTPEngine::call<RequestRet>(endpoint, tokens_.accessToken, [&](const std::string& token) {
      SignKeyList list;
      HTTPEngine::addValueForString(list, "token", token);
      HTTPEngine::addValueForString(list, "x", x);
      return list;
    });
  }

  test::ScopedAppState app_;
  FakeService service_;
  test::FakeTokenPair tokens_;
  int refreshes_ = 0;
};

TEST_F(HTTPEngineCallTest, SignedCallsPassTheServicesCheck) {
  for (const std::string method : {"POST", "GET"}) {
    const RequestRet ret = call(method);
    EXPECT_EQ(ret.nStatusCode(), 200) << method;
    const auto calls = service_.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().signatureValid, true) << calls.back().signatureProblem;
    EXPECT_EQ(calls.back().paramNames(), (std::vector<std::string>{"token", "x", "sign"}));
    const auto type = calls.back().header("Content-Type");
    EXPECT_EQ(type, method == "POST" ? std::optional<std::string>("application/x-www-form-urlencoded")
                                     : std::nullopt);
  }
  // Base64 always ends in "=", whose escape is escaped again on the wire.
  EXPECT_TRUE(service_.calls().front().body.ends_with("%253D"));
}

TEST_F(HTTPEngineCallTest, AnswersWithoutAReadableBodyGiveTheirCodes) {
  struct Case {
    const char* name;
    FakeFault fault;
    int64_t status;
    int64_t errorCode;
  };
  const Case cases[] = {
      {"no marker", FakeFault::noMarker(), RequestRet::kNoMarker, 0},
      {"lower-case marker", FakeFault::lowerCaseMarker(), RequestRet::kNoMarker, 0},
      {"empty object", FakeFault::body("{}"), RequestRet::kUnreadable, 0},
      {"array", FakeFault::body("[1,2]"), RequestRet::kUnreadable, 0},
      {"empty body", FakeFault::body(""), RequestRet::kUnreadable, 0},
      {"not json", FakeFault::body("<html>"), RequestRet::kUnreadable, 0},
      {"error 40103", FakeFault::errorCode(40103, 401, "locked"), 401, 40103},
      {"expired token on a 200", FakeFault::body(R"({"error_code":40101})"), 200, 0},
  };
  for (const auto& c : cases) {
    service_.fail("/1/thing", c.fault.times(1));
    const RequestRet ret = call();
    EXPECT_EQ(ret.nStatusCode(), c.status) << c.name;
    EXPECT_EQ(ret.nErrorCode(), c.errorCode) << c.name;
  }
  EXPECT_EQ(refreshes_, 0);
  EXPECT_EQ(service_.callsTo("/1/thing").size(), 8u);
}

TEST_F(HTTPEngineCallTest, NoMarkerStillReadsTheErrorBody) {
  service_.on("POST", "/1/thing", [](const FakeCall&) {
    return FakeReply::json({{"error_code", "5"}, {"error_msg", "x"}});
  });
  service_.fail("/1/thing", FakeFault::noMarker());
  const RequestRet ret = call();
  EXPECT_EQ(ret.nStatusCode(), RequestRet::kNoMarker);
  EXPECT_EQ(ret.nErrorCode(), 5);
  EXPECT_EQ(ret.strErrorMsg(), "x");
}

TEST_F(HTTPEngineCallTest, ExpiredTokenRepeatsThreeTimesWithFreshTokens) {
  service_.fail("/1/thing", FakeFault::errorCode(40101, 401, "expired"));
  const RequestRet ret = call();
  EXPECT_EQ(ret.nStatusCode(), 401);
  EXPECT_EQ(ret.nErrorCode(), 40101);
  EXPECT_EQ(refreshes_, 3);
  const auto calls = service_.callsTo("/1/thing");
  ASSERT_EQ(calls.size(), 4u);
  for (std::size_t i = 1; i < calls.size(); ++i) {
    EXPECT_NE(calls[i].param("token"), calls[i - 1].param("token"));
  }
}

TEST_F(HTTPEngineCallTest, RepeatSucceedsOnceTheServiceTakesTheNewToken) {
  service_.tokens().expire(tokens_.accessToken);
  const RequestRet ret = call();
  EXPECT_EQ(ret.nStatusCode(), 200);
  EXPECT_EQ(refreshes_, 1);
  EXPECT_EQ(service_.callsTo("/1/thing").size(), 2u);
}

TEST_F(HTTPEngineCallTest, NoAnswerGivesZeroAndIsNotRepeated) {
  service_.fail("/1/thing", FakeFault::slow(std::chrono::seconds(5)));
  const RequestRet ret = call();
  EXPECT_EQ(ret.nStatusCode(), RequestRet::kNoResponse);
  EXPECT_EQ(refreshes_, 0);
}

TEST_F(HTTPEngineCallTest, ReadableBodySwitchesTheLinkStatusOn) {
  app_->setLinkStatus(false);
  app_->clear();
  service_.fail("/1/thing", FakeFault::body("").times(1));
  call();
  EXPECT_EQ(app_->count("setLinkStatus"), 0u);
  service_.fail("/1/thing", FakeFault::body("[1]").times(1));
  call();
  EXPECT_EQ(app_->count("setLinkStatus"), 1u);
}

TEST_F(HTTPEngineCallTest, LogLinesCarryNoCredentials) {
  service_.fail("/1/thing", FakeFault::errorCode(40101, 401, "expired").times(1));
  service_.fail("/1/thing", FakeFault::body("").times(1));
  test::LogCapture log;
  call("GET");
  const std::string text = log.text();
  EXPECT_NE(text.find("token=***"), std::string::npos) << text;
  EXPECT_NE(text.find("sign=***"), std::string::npos) << text;
  EXPECT_EQ(text.find(tokens_.accessToken), std::string::npos) << text;
  EXPECT_EQ(text.find("access-"), std::string::npos) << text;
}

}  // namespace
}  // namespace nb
