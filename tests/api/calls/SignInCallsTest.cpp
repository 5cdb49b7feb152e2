#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

#include <gtest/gtest.h>

#include "api/session/ClientId.h"
#include "api/calls/HTTPEngine.h"
#include "api/calls/TransportSettings.h"
#include "api/server/ServerInfo.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "support/FakeAppState.h"
#include "support/FakeAuthEndpoints.h"
#include "support/FakeService.h"
#include "support/LogCapture.h"
#include "support/TempHome.h"
#include "platform/UniqueFd.h"

namespace nb {
namespace {

using test::FakeAuthEndpoints;
using test::FakeFault;
using test::FakeService;

// A loopback port bound but not listening: every connection to it is refused.
class RefusedPort {
 public:
  RefusedPort() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if (::bind(fd_.get(), raw, size) == 0 && ::getsockname(fd_.get(), raw, &size) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  uint16_t port() const { return port_; }

 private:
  platform::UniqueFd fd_;
  uint16_t port_ = 0;
};

class SignInCallsTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    server_ = app_->useServerAt(root(), service_.host());
    server_->setStrUpdateHost(service_.host());
    auth_.addAccount("ann", "pa ss&word");
  }

  void TearDown() override {
    setTransportSettingsSource({});
    TempHome::TearDown();
  }

  size_t tokenCalls() const { return service_.callsTo("/oauth2/token2").size(); }

  // Names the service by a host without port, as deployments do, so that
  // its HTTPS (port 443) and plain HTTP (port 80) can be told apart: HTTPS
  // goes to `httpsPort`, plain HTTP to the plain fake service.
  void splitSchemes(uint16_t httpsPort) {
    server_->setStrApiHost(kSplitHost);
    std::vector<std::string> routes = {
        std::string(kSplitHost) + ":443:127.0.0.1:" + std::to_string(httpsPort),
        std::string(kSplitHost) + ":80:127.0.0.1:" + std::to_string(service_.port())};
    setTransportSettingsSource([routes] { return TransportSettings{.connectTo = routes}; });
  }

  static constexpr const char* kSplitHost = "api.test";

  test::ScopedAppState app_;
  std::shared_ptr<ServerInfo> server_;
  FakeService service_;
  FakeAuthEndpoints auth_{service_};
};

TEST_F(SignInCallsTest, PasswordSignInOverHttpsRefusedFallsBackToHttpWhenAllowed) {
  RefusedPort noHttps;
  splitSchemes(noHttps.port());
  const RetToken ret = HTTPEngine::loginMore("ann", "pa ss&word", "info", "dev-1");
  EXPECT_EQ(ret.nStatusCode(), 200);
  EXPECT_FALSE(ret.strAccessToken.empty());
  EXPECT_FALSE(ret.strRefreshToken.empty());
  EXPECT_EQ(ret.nExpires, 7200);
  // The two HTTPS tries never reach the plain-HTTP fake; the third does.
  EXPECT_EQ(tokenCalls(), 1u);
  const auto call = service_.callsTo("/oauth2/token2").front();
  EXPECT_EQ(call.signatureValid, true) << call.signatureProblem;
  EXPECT_EQ(call.paramNames(), (std::vector<std::string>{"grant_type", "username", "password", "info",
                                                          "device", "client_id", "dateline", "sign"}));
  EXPECT_EQ(call.param("password"), "pa ss&word");
  EXPECT_EQ(call.param("client_id"), std::string(kClientId));
}

TEST_F(SignInCallsTest, PasswordNeverGoesOutInTheClearWhenHttpsIsRequired) {
  RefusedPort noHttps;
  splitSchemes(noHttps.port());
  for (const bool byUser : {true, false}) {
    app_->setUseHttps(byUser);
    server_->setBHttps(!byUser);
    const RetToken ret = HTTPEngine::loginMore("ann", "pa ss&word", "info", "dev-1");
    EXPECT_EQ(ret.nStatusCode(), 0) << byUser;
    EXPECT_EQ(tokenCalls(), 0u) << byUser;
  }
}

TEST_F(SignInCallsTest, PasswordSignInWorksOverHttps) {
  FakeService secure(FakeService::Options{.https = true});
  FakeAuthEndpoints secureAuth(secure);
  secureAuth.addAccount("ann", "pw");
  server_->setStrApiHost(secure.host());
  app_->setUseHttps(true);
  // The fake's own certificate is not trusted: name it as the CA file.
  ASSERT_TRUE(server_->setValueWithData(R"({"cafile":")" + secure.caFile().string() + R"("})"));
  const RetToken ret = HTTPEngine::loginMore("ann", "pw", "info", "dev-1");
  EXPECT_EQ(ret.nStatusCode(), 200);
  EXPECT_EQ(secure.callsTo("/oauth2/token2").size(), 1u);
}

TEST_F(SignInCallsTest, PasswordNeverGoesOutInTheClearAfterAFailedHandshake) {
  FakeService untrusted(FakeService::Options{.https = true});  // its certificate is not trusted
  FakeService noTls;  // plain HTTP where TLS is expected
  FakeAuthEndpoints untrustedAuth(untrusted);
  untrustedAuth.addAccount("ann", "pw");
  for (FakeService* https : {&untrusted, &noTls}) {
    splitSchemes(https->port());
    const RetToken ret = HTTPEngine::loginMore("ann", "pw", "info", "dev-1");
    EXPECT_EQ(ret.nStatusCode(), 0) << https->baseUrl();
    EXPECT_EQ(ret.transportFailure(), platform::TransportFailure::Tls) << https->baseUrl();
    EXPECT_TRUE(https->callsTo("/oauth2/token2").empty()) << https->baseUrl();
    // The plain service saw nothing at all.
    EXPECT_TRUE(service_.calls().empty()) << https->baseUrl();
  }
}

TEST_F(SignInCallsTest, TokenAnswerWithoutTheMarkerLeavesNoTokenInTheLog) {
  const auto pair = service_.tokens().issue();
  service_.fail("/oauth2/token2", FakeFault::noMarker().times(1));
  test::LogCapture log;
  const RetToken ret = HTTPEngine::refreshToken(pair.refreshToken, "info", "dev");
  EXPECT_EQ(ret.nStatusCode(), RequestRet::kNoMarker);
  const std::string text = log.text();
  EXPECT_NE(text.find(R"("access_token":"***")"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("refresh_token":"***")"), std::string::npos) << text;
  EXPECT_EQ(text.find("access-"), std::string::npos) << text;
  EXPECT_EQ(text.find("refresh-"), std::string::npos) << text;
}

TEST_F(SignInCallsTest, OAuthRefusalStopsThePasswordSignIn) {
  RefusedPort noHttps;
  splitSchemes(noHttps.port());
  test::LogCapture log;
  // Plain HTTP only is reachable, so the refusal comes on the third try; it
  // is final there. An HTTPS refusal would stop the loop (see the HTTPS test).
  const RetToken wrong = HTTPEngine::loginMore("ann", "nope", "info", "dev-7");
  EXPECT_EQ(wrong.nStatusCode(), 400);
  EXPECT_EQ(wrong.nErrorCode(), RetToken::kOAuthRefused);
  EXPECT_EQ(wrong.strErrorMsg(), "invalid_grant");
  EXPECT_EQ(wrong.strErrorDescription, "wrong user name or password");
  EXPECT_EQ(tokenCalls(), 1u);
  // Neither the form nor the password reach the log; the device does.
  EXPECT_EQ(log.text().find("nope"), std::string::npos);
  EXPECT_EQ(log.text().find("username"), std::string::npos);
  EXPECT_NE(log.text().find("device:dev-7"), std::string::npos);
}

TEST_F(SignInCallsTest, OAuthRefusalOverHttpsIsNotRetried) {
  FakeService secure(FakeService::Options{.https = true});
  FakeAuthEndpoints secureAuth(secure);
  secureAuth.refuseTokens("invalid_grant", "x", 0, 3);
  server_->setStrApiHost(secure.host());
  ASSERT_TRUE(server_->setValueWithData(R"({"cafile":")" + secure.caFile().string() + R"("})"));
  const RetToken ret = HTTPEngine::loginMore("ann", "pw", "info", "dev-1");
  EXPECT_EQ(ret.nStatusCode(), 400);
  EXPECT_EQ(ret.nErrorCode(), 1);
  EXPECT_EQ(ret.strErrorMsg(), "invalid_grant");
  EXPECT_EQ(ret.strErrorDescription, "x");
  EXPECT_EQ(secure.callsTo("/oauth2/token2").size(), 1u);
}

TEST_F(SignInCallsTest, TokenRefusalsMapTheirOAuthNames) {
  struct Case {
    const char* error;
    int code;
    std::int64_t expected;
  } cases[] = {{"deprecated_client", 0, 3}, {"access_upgrade", 0, 2}, {"something_else", 7, 7},
               {"invalid_request", 9, 0}};
  for (const Case& c : cases) {
    auth_.refuseTokens(c.error, "", c.code);
    const RetToken ret = HTTPEngine::refreshToken("r", "info", "dev");
    EXPECT_EQ(ret.nStatusCode(), 400) << c.error;
    EXPECT_EQ(ret.nErrorCode(), c.expected) << c.error;
    EXPECT_EQ(ret.strErrorMsg(), c.error);
  }
}

TEST_F(SignInCallsTest, RefreshRotatesTheTokensAndARefusedRefreshIsFinal) {
  const auto pair = service_.tokens().issue();
  const RetToken fresh = HTTPEngine::refreshToken(pair.refreshToken, "info", "dev");
  EXPECT_EQ(fresh.nStatusCode(), 200);
  EXPECT_NE(fresh.strRefreshToken, pair.refreshToken);
  EXPECT_EQ(fresh.ullDateline, 1700000000u);
  // The old refresh token was used up.
  const RetToken again = HTTPEngine::refreshToken(pair.refreshToken, "info", "dev");
  EXPECT_EQ(again.nStatusCode(), 400);
  EXPECT_EQ(again.nErrorCode(), RetToken::kOAuthRefused);
  EXPECT_EQ(tokenCalls(), 2u);
  EXPECT_EQ(service_.callsTo("/oauth2/token2").back().signatureValid, true);
}

TEST_F(SignInCallsTest, ApiHostOfASuccessfulAnswerMovesLaterCalls) {
  FakeService other;
  FakeAuthEndpoints otherAuth(other);
  const auto pair = service_.tokens().issue();
  const auto otherPair = other.tokens().issue();

  // Without "api_host" nothing moves.
  ASSERT_EQ(HTTPEngine::refreshToken(pair.refreshToken, "info", "dev").nStatusCode(), 200);
  EXPECT_EQ(server_->strApiHost(), service_.host());

  auth_.setApiHost(other.host());
  ASSERT_EQ(HTTPEngine::checkLogin("unknown-key", "info", "dev").nStatusCode(), 400);
  EXPECT_EQ(server_->strApiHost(), service_.host());  // a refusal moves nothing
  const auto second = service_.tokens().issue();
  ASSERT_EQ(HTTPEngine::refreshToken(second.refreshToken, "info", "dev").nStatusCode(), 200);
  EXPECT_EQ(server_->strApiHost(), other.host());
  const RetToken moved = HTTPEngine::refreshToken(otherPair.refreshToken, "info", "dev");
  EXPECT_EQ(moved.nStatusCode(), 200);
  EXPECT_EQ(other.callsTo("/oauth2/token2").size(), 1u);
}

TEST_F(SignInCallsTest, EnterpriseGrantTicketAndOneTimeKeySignIn) {
  auth_.addGrantClient("partner", "s3cret");
  const RetEntGrantItem grant =
      HTTPEngine::getEntGrant(service_.baseUrl(), "partner", "s3cret", "ann@example");
  ASSERT_EQ(grant.nStatusCode(), 200);
  ASSERT_EQ(auth_.grantedKeys(), std::vector<std::string>{grant.strKey});

  const auto ticket = objectFromJSONString(auth_.lastTicketJson().value_or(""));
  ASSERT_TRUE(ticket && ticket->isObject());
  EXPECT_EQ(ticket->size(), 4u);
  EXPECT_EQ((*ticket)["account"].asString(), "ann@example");
  EXPECT_TRUE((*ticket)["t"].isInteger());
  const std::string n((*ticket)["n"].asString());
  EXPECT_EQ(n.size(), 6u);
  EXPECT_EQ(n.find_first_not_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
  const auto call = service_.callsTo("/account/autologin/entgrant").front();
  EXPECT_EQ(call.paramNames(), (std::vector<std::string>{"client_id", "ticket", "format"}));

  const RetToken signedIn = HTTPEngine::checkLogin(grant.strKey, "info", "dev");
  EXPECT_EQ(signedIn.nStatusCode(), 200);
  EXPECT_EQ(service_.callsTo("/oauth2/token2").back().param("nbkey"), grant.strKey);
  // The key is good once.
  EXPECT_EQ(HTTPEngine::checkLogin(grant.strKey, "info", "dev").nErrorCode(), 1);

  const RetEntGrantItem wrongSecret = HTTPEngine::getEntGrant(service_.baseUrl(), "partner", "guess", "ann");
  EXPECT_EQ(wrongSecret.nStatusCode(), 400);
  EXPECT_EQ(wrongSecret.nErrorCode(), FakeAuthEndpoints::kBadTicket);
  EXPECT_EQ(wrongSecret.strKey, "");
}

TEST_F(SignInCallsTest, PassportNamesTheServerHostWithOrWithoutMarker) {
  auth_.setDomain("acme", "acme.example");
  RetPassport bySource = HTTPEngine::passportSource(service_.baseUrl(), "acme");
  EXPECT_EQ(bySource.nStatusCode(), 200);
  EXPECT_EQ(bySource.strServerHost, "acme.example");
  service_.fail("/account/client-login", FakeFault::noMarker().times(1));
  RetPassport byAccount = HTTPEngine::passportAccount(service_.baseUrl(), "nobody");
  EXPECT_EQ(byAccount.nStatusCode(), 200);
  EXPECT_EQ(byAccount.strServerHost, "");
  EXPECT_EQ(service_.callsTo("/account/client-login").back().param("account"), "nobody");
}

TEST_F(SignInCallsTest, ConfigSourceNeedsTheMarker) {
  auth_.setConfigAnswer("acme", R"({"client_setting":"{}"})");
  std::string json = "untouched";
  EXPECT_TRUE(HTTPEngine::getConfigSource("acme", std::string(kClientId), json));
  EXPECT_EQ(json, R"({"client_setting":"{}"})");
  EXPECT_EQ(service_.callsTo("/1/config/source").back().signatureValid, true);

  test::LogCapture log;
  json = "untouched";
  service_.fail("/1/config/source", FakeFault::noMarker().times(1));
  EXPECT_FALSE(HTTPEngine::getConfigSource("acme", std::string(kClientId), json));
  EXPECT_EQ(json, "untouched");
  EXPECT_NE(log.text().find(R"(httpcode=-2,ret={"client_setting":"{}"})"), std::string::npos) << log.text();
  EXPECT_FALSE(HTTPEngine::getConfigSource("other", std::string(kClientId), json));
}

TEST_F(SignInCallsTest, UpdateCheckTakesItsSchemeFromTheUsersSettingAlone) {
  auth_.setUpdateAnswer("{\"version\":\"9\"}");
  server_->setBHttps(true);  // forced by the server file, not by the user
  server_->setStrUpdateBranch("beta");
  EXPECT_EQ(HTTPEngine::checkUpdates("1.2.3"), "{\"version\":\"9\"}");
  const auto call = service_.callsTo("/update/app").back();
  EXPECT_EQ(call.param("n"), "auto_update_linux");
  EXPECT_EQ(call.param("v"), "1.2.3");
  EXPECT_EQ(call.param("branch"), "beta");
  auth_.setUpdateAnswer("");
  EXPECT_FALSE(HTTPEngine::checkUpdates("1.2.3"));
}

TEST_F(SignInCallsTest, UpdateCheckAsksForTheDeploymentsChannel) {
  auth_.setUpdateAnswer("{}");
  ASSERT_TRUE(server_->setValueWithData(R"({"updatechannel":"linux arm64&x"})"));
  EXPECT_TRUE(HTTPEngine::checkUpdates("2.0"));
  EXPECT_EQ(service_.callsTo("/update/app").back().param("n"), "linux arm64&x");
}

TEST_F(SignInCallsTest, ActivationSendsBothTokensSigned) {
  const auto pair = service_.tokens().issue();
  EXPECT_EQ(HTTPEngine::activateRefresh(pair.accessToken, pair.refreshToken).nStatusCode(), 200);
  EXPECT_EQ(auth_.activatedRefreshTokens(), std::vector<std::string>{pair.refreshToken});
  service_.tokens().expire(pair.accessToken);
  const RequestRet expired = HTTPEngine::activateRefresh(pair.accessToken, pair.refreshToken);
  EXPECT_EQ(expired.nStatusCode(), 401);
  EXPECT_EQ(service_.callsTo("/1/account/activate_refresh").size(), 2u);  // no repeat
}

TEST(RandStr, GivesLowerCaseLettersOfTheLength) {
  EXPECT_EQ(HTTPEngine::randStr(0), "");
  EXPECT_EQ(HTTPEngine::randStr(-3), "");
  const std::string text = HTTPEngine::randStr(64);
  EXPECT_EQ(text.size(), 64u);
  EXPECT_EQ(text.find_first_not_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
}

}  // namespace
}  // namespace nb
