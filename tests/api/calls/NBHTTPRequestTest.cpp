#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "api/calls/NBHTTPRequest.h"
#include "api/server/ServerInfo.h"
#include "support/FakeAppState.h"
#include "support/FakeService.h"
#include "support/LogCapture.h"
#include "support/ScriptedHttpServer.h"

namespace nb {
namespace {

using test::FakeCall;
using test::FakeFault;
using test::FakeReply;
using test::FakeService;
using test::ScriptedReply;

const test::FakeEndpointRules& kOpen = test::kOpenEndpoint;

class NBHTTPRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service_.on("GET", "/echo", [](const FakeCall&) { return FakeReply::json({{"ok", 1}}); }, kOpen);
    service_.on("POST", "/echo", [](const FakeCall&) { return FakeReply::json({{"ok", 1}}); }, kOpen);
  }

  NBHTTPResponse send(const std::string& method, const std::string& path,
                      std::optional<platform::HttpHeaders> headers = std::nullopt,
                      std::optional<std::string> body = std::nullopt, int timeout = 60) {
    NBHTTPRequest request(service_.baseUrl() + path, method, std::move(headers), std::move(body));
    return request.connectNetSyncWithResponse(timeout, settings_);
  }

  FakeCall lastCall() const {
    const auto calls = service_.calls();
    return calls.empty() ? FakeCall{} : calls.back();
  }

  FakeService service_;
  TransportSettings settings_{.userAgent = "NB_SYNC;1.0;Linux;12", .acceptLanguage = "fr-FR"};
};

TEST_F(NBHTTPRequestTest, PostCarriesTheClientHeadersOverTheCallers) {
  // An untyped body goes out untyped: only the caller knows it is a form.
  const std::string body = "a=1&b=2";
  const auto response = send("POST", "/echo",
                             platform::HttpHeaders{{"X-Extra", "kept"},
                                                   {"user-agent", "theirs"},
                                                   {"Accept-Language", "de"}},
                             body);
  ASSERT_EQ(response.statusCode, 200);
  const FakeCall call = lastCall();
  EXPECT_EQ(call.header("Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(call.header("Content-Type"), std::nullopt);
  EXPECT_EQ(call.header("X-Extra"), "kept");
  EXPECT_EQ(call.header("User-Agent"), settings_.userAgent);
  EXPECT_EQ(call.header("Accept-Language"), "fr-FR");
  EXPECT_EQ(call.header("Expect"), std::nullopt);
  EXPECT_EQ(call.header("Cookie"), std::nullopt);
  EXPECT_EQ(call.body, body);
}

TEST_F(NBHTTPRequestTest, GetWithoutBodySendsZeroLengthAndNoContentType) {
  ASSERT_EQ(send("GET", "/echo").statusCode, 200);
  const FakeCall call = lastCall();
  EXPECT_EQ(call.header("Content-Length"), "0");
  EXPECT_EQ(call.header("Content-Type"), std::nullopt);
}

TEST_F(NBHTTPRequestTest, EachMethodArrivesWithItsBody) {
  const std::pair<std::string, std::string> cases[] = {{"PUT", "raw\x01bytes"}, {"PUT", ""}, {"POST", "x=1"}};
  for (const auto& [method, body] : cases) {
    service_.on(method, "/m", [](const FakeCall& call) { return FakeReply::text(call.method + ":" + call.body); },
                kOpen);
    const auto response = send(method, "/m", std::nullopt, body);
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.body, method + ":" + body);
    EXPECT_EQ(lastCall().header("Content-Length"), std::to_string(body.size()));
  }
}

TEST_F(NBHTTPRequestTest, HeadersGoOutInTheirOrderOfPrecedence) {
  NBHTTPRequest request("http://h/p", "POST",
                        platform::HttpHeaders{{"X-A", "1"}, {"Content-Length", "999"}, {"User-Agent", "x"}},
                        std::string("abc"));
  const auto headers = request.outgoingHeaders(settings_);
  const std::vector<platform::HttpHeaders::Field> expected = {
      {"Content-Length", "3"},
      {"X-A", "1"},
      {"User-Agent", settings_.userAgent},
      {"Accept-Language", "fr-FR"}};
  // User-Agent keeps the caller's slot but takes our value.
  EXPECT_EQ(headers.fields(), expected);
}

TEST_F(NBHTTPRequestTest, UserAgentFallsBackToTheSourceThenToNone) {
  struct Case {
    std::string userAgent, source;
    std::optional<std::string> sent;
  };
  const Case cases[] = {{"UA/1", "abc", "UA/1"}, {"", "abc", "NB_SYNC;SOURCE/abc"}, {"", "", std::nullopt}};
  for (const auto& c : cases) {
    settings_ = TransportSettings{.userAgent = c.userAgent, .source = c.source};
    ASSERT_EQ(send("GET", "/echo").statusCode, 200);
    EXPECT_EQ(lastCall().header("User-Agent"), c.sent) << c.userAgent << "/" << c.source;
    EXPECT_EQ(lastCall().header("Accept-Language"), "en-us;q=1,en");  // always one
  }
}

TEST_F(NBHTTPRequestTest, InstalledSettingsSourceIsUsedByDefault) {
  setTransportSettingsSource([] { return TransportSettings{.source = "src9"}; });
  NBHTTPRequest request(service_.baseUrl() + "/echo", "GET");
  const auto response = request.connectNetSyncWithResponse();
  setTransportSettingsSource({});
  ASSERT_EQ(response.statusCode, 200);
  EXPECT_EQ(lastCall().header("User-Agent"), "NB_SYNC;SOURCE/src9");
}

TEST_F(NBHTTPRequestTest, CookiesAreNeitherKeptNorSent) {
  service_.on("GET", "/cookie", [](const FakeCall&) {
    FakeReply reply = FakeReply::json({{"ok", 1}});
    reply.headers.emplace_back("Set-Cookie", "sid=secret; Path=/");
    return reply;
  }, kOpen);
  NBHTTPRequest request(service_.baseUrl() + "/cookie", "GET");
  EXPECT_EQ(request.connectNetSyncWithResponse(60, settings_).allHeaderFields.find("set-cookie"),
            "sid=secret; Path=/");
  // The same request object again: a handle that kept cookies would send one now.
  ASSERT_EQ(request.connectNetSyncWithResponse(60, settings_).statusCode, 200);
  EXPECT_EQ(lastCall().header("Cookie"), std::nullopt);
}

TEST_F(NBHTTPRequestTest, ErrorStatusKeepsItsBodyAndHeaders) {
  service_.on("GET", "/missing", [](const FakeCall&) { return FakeReply::text("gone away", 404); }, kOpen);
  const auto response = send("GET", "/missing");
  EXPECT_EQ(response.statusCode, 404);
  EXPECT_EQ(response.body, "gone away");
  EXPECT_EQ(response.allHeaderFields.find("x-server"), "NUBREN");
}

TEST_F(NBHTTPRequestTest, RedirectIsHandedBackNotFollowed) {
  service_.on("GET", "/moved", [](const FakeCall&) {
    FakeReply reply = FakeReply::text("", 302);
    reply.headers.emplace_back("Location", "/echo");
    return reply;
  }, kOpen);
  const auto response = send("GET", "/moved");
  EXPECT_EQ(response.statusCode, 302);
  EXPECT_EQ(response.allHeaderFields.find("Location"), "/echo");
  EXPECT_EQ(service_.callsTo("/echo").size(), 0u);
}

TEST_F(NBHTTPRequestTest, NoAnswerGivesStatusZeroAndOneErrorLine) {
  struct Case {
    const char* name;
    FakeFault fault;
  };
  const Case cases[] = {{"slow", FakeFault::slow(std::chrono::seconds(5))}, {"drop", FakeFault::drop()}};
  for (const auto& c : cases) {
    service_.fail("/echo", c.fault.times(1));
    test::LogCapture log;
    const auto response = send("GET", "/echo", std::nullopt, std::nullopt, 1);
    EXPECT_EQ(response.statusCode, 0) << c.name;
    EXPECT_TRUE(response.body.empty()) << c.name;
    EXPECT_TRUE(response.allHeaderFields.empty()) << c.name;
    EXPECT_EQ(log.errorLines().size(), 1u) << c.name << "\n" << log.text();
  }
}

TEST_F(NBHTTPRequestTest, EachRequestOfAThreadHasAConnectionOfItsOwn) {
  // The server would keep every connection: still no request rides on the
  // one before it, whether that one was kept, closed, or answered an error.
  test::ScriptedHttpServer server;
  server.on("/kept", ScriptedReply::ok("k").header("Keep-Alive", "timeout=30, max=100"));
  server.on("/closed", [](const test::ScriptedRequest&) {
    ScriptedReply reply = ScriptedReply::ok("c");
    reply.closeAfter = true;
    return reply;
  });
  const char* paths[] = {"/kept", "/kept", "/closed", "/missing", "/kept"};
  for (const char* path : paths) {
    NBHTTPRequest request(server.url(path), "GET");
    EXPECT_NE(request.connectNetSyncWithResponse(5, settings_).statusCode, 0) << path;
  }
  const auto seen = server.requests();
  ASSERT_EQ(seen.size(), std::size(paths));
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i].connection, static_cast<int>(i) + 1);
  EXPECT_EQ(server.acceptedConnections(), static_cast<int>(std::size(paths)));
}

TEST_F(NBHTTPRequestTest, RefusedConnectionGivesStatusZero) {
  std::string closedUrl;
  {
    FakeService gone;
    closedUrl = gone.baseUrl() + "/echo";
  }
  NBHTTPRequest request(closedUrl, "GET");
  EXPECT_EQ(request.connectNetSyncWithResponse(5, settings_).statusCode, 0);
}

TEST_F(NBHTTPRequestTest, FailureLogMasksCredentialsInTheUrl) {
  std::string closedBase;
  {
    FakeService gone;
    closedBase = gone.baseUrl();
  }
  test::LogCapture log;
  NBHTTPRequest request(closedBase + "/1/account/info?token=tok123&name=v&sign=sig456", "GET");
  EXPECT_EQ(request.connectNetSyncWithResponse(5, settings_).statusCode, 0);
  const std::string text = log.text();
  EXPECT_NE(text.find("/1/account/info?token=***&name=v&sign=***"), std::string::npos) << text;
  EXPECT_EQ(text.find("tok123"), std::string::npos);
  EXPECT_EQ(text.find("sig456"), std::string::npos);
}

class NBHTTPRequestTlsTest : public ::testing::Test {
 protected:
  int64_t statusWith(const platform::TlsOptions& tls) {
    service_.on("GET", "/echo", [](const FakeCall&) { return FakeReply::json({{"ok", 1}}); }, kOpen);
    NBHTTPRequest request(service_.baseUrl() + "/echo", "GET");
    return request.connectNetSyncWithResponse(10, TransportSettings{.tls = tls}).statusCode;
  }

  FakeService service_{FakeService::Options{.https = true}};
};

TEST_F(NBHTTPRequestTlsTest, SelfSignedServerIsRefusedByDefault) {
  test::LogCapture log;
  EXPECT_EQ(statusWith({}), 0);
  EXPECT_EQ(log.errorLines().size(), 1u);
}

TEST_F(NBHTTPRequestTlsTest, SelfSignedServerIsAcceptedWhenItsCaIsNamed) {
  EXPECT_EQ(statusWith({.caFile = service_.caFile().string()}), 200);
}

TEST_F(NBHTTPRequestTlsTest, SelfSignedServerIsAcceptedWhenChecksAreOff) {
  EXPECT_EQ(statusWith({.insecure = true}), 200);
}

TEST_F(NBHTTPRequestTlsTest, ANamedCaOfAnotherServerIsRefused) {
  FakeService other{FakeService::Options{.https = true}};
  EXPECT_EQ(statusWith({.caFile = other.caFile().string()}), 0);
}

}  // namespace
}  // namespace nb

namespace nb {
namespace {

// Without an installed source, every request reads the shell's texts and the
// server configuration's certificate rule.
class NBHTTPRequestAppStateTest : public ::testing::Test {
 protected:
  int64_t fetch() {
    NBHTTPRequest request(service_.baseUrl() + "/echo", "GET");
    return request.connectNetSyncWithResponse(10).statusCode;
  }
  void configure(const std::string& serverJson) {
    auto info = std::make_shared<ServerInfo>(ServerInfo::Folders{});
    ASSERT_TRUE(info->setValueWithData(serverJson));
    app_->setServerInfo(info);
  }

  test::ScopedAppState app_;
  FakeService service_{FakeService::Options{.https = true}};
};

TEST_F(NBHTTPRequestAppStateTest, ServerFileNamesTheCaOrOptsOut) {
  service_.on("GET", "/echo", [](const FakeCall&) { return FakeReply::json({{"ok", 1}}); }, kOpen);
  app_->setUserAgent("NB_SYNC;2.0;Linux;12");
  app_->setLanguage("zh-tw");
  configure("{}");
  EXPECT_EQ(fetch(), 0);
  configure(R"({"cafile":")" + service_.caFile().string() + R"("})");
  EXPECT_EQ(fetch(), 200);
  EXPECT_EQ(service_.calls().back().header("User-Agent"), "NB_SYNC;2.0;Linux;12");
  EXPECT_EQ(service_.calls().back().header("Accept-Language"), app_->languageWithRequestString());
  configure(R"({"insecure":1})");
  EXPECT_EQ(fetch(), 200);
}

}  // namespace
}  // namespace nb
