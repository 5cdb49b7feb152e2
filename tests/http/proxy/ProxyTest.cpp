// The proxy choice: the first entry of the system's list for the URL.

#include <gtest/gtest.h>

#include "http/HttpTestSupport.h"
#include "http/proxy/ProxyResolver.h"

namespace nb::test {
namespace {

using http::ProxyResolver;

class FixedResolver final : public ProxyResolver {
 public:
  explicit FixedResolver(std::optional<std::vector<std::string>> list) : list_(std::move(list)) {}
  std::optional<std::vector<std::string>> lookup(const std::string& url) override {
    asked.push_back(url);
    return list_;
  }
  std::vector<std::string> asked;

 private:
  std::optional<std::vector<std::string>> list_;
};

class ProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerTestIdentity();
    proxy_.on("/x", [](const ScriptedRequest& request) { return ScriptedReply::ok(request.target); });
  }
  void TearDown() override { ProxyResolver::setCurrent(nullptr); }

  std::shared_ptr<FixedResolver> install(std::optional<std::vector<std::string>> list) {
    auto resolver = std::make_shared<FixedResolver>(std::move(list));
    ProxyResolver::setCurrent(resolver);
    return resolver;
  }

  ScriptedHttpServer proxy_;
};

TEST_F(ProxyTest, TheFirstEntryCarriesTheRequestBothWays) {
  install(std::vector<std::string>{proxy_.url(""), "direct://"});
  auto sync = http::ASIHTTPRequest::requestWithURL("http://nubren.invalid/x");
  sync->startSynchronous();
  EXPECT_EQ(errorCode(*sync), 0);
  EXPECT_EQ(sync->responseString(), "http://nubren.invalid/x");

  auto async = http::ASIHTTPRequest::requestWithURL("http://nubren.invalid/x?async");
  RecordingDelegate delegate;
  ASSERT_TRUE(runAsynchronously(async, delegate));
  EXPECT_EQ(delegate.finished, 1);
  EXPECT_EQ(async->responseString(), "http://nubren.invalid/x?async");
}

TEST_F(ProxyTest, DirectAndEmptyListsGoDirect) {
  ScriptedHttpServer server;
  server.on("/d", ScriptedReply::ok("direct"));
  for (const auto& list : {std::vector<std::string>{"direct://"}, std::vector<std::string>{}}) {
    install(list);
    auto request = http::ASIHTTPRequest::requestWithURL(server.url("/d"));
    request->startSynchronous();
    EXPECT_EQ(request->responseString(), "direct");
  }
  EXPECT_TRUE(proxy_.requests().empty());
}

TEST_F(ProxyTest, NoListFailsWithCode6) {
  install(std::nullopt);
  auto request = http::ASIHTTPRequest::requestWithURL("http://nubren.invalid/x");
  RecordingDelegate delegate;
  ASSERT_TRUE(runAsynchronously(request, delegate));
  EXPECT_EQ(errorCode(*request), http::ASIInternalErrorWhileBuildingRequestType);
  EXPECT_EQ(request->error()->localizedDescription(),
            "Unable to obtain information on proxy servers needed for request");
}

TEST_F(ProxyTest, ARedirectKeepsTheProxyWithoutAskingAgain) {
  proxy_.on("/start", ScriptedReply::redirect(302, "http://elsewhere.invalid/x"));
  const auto resolver = install(std::vector<std::string>{proxy_.url("")});
  auto request = http::ASIHTTPRequest::requestWithURL("http://nubren.invalid/start");
  request->startSynchronous();
  EXPECT_EQ(request->responseString(), "http://elsewhere.invalid/x");
  EXPECT_EQ(resolver->asked.size(), 1u);
}

TEST(ProxyUris, KindsAndPorts) {
  struct Case {
    const char* uri;
    const char* type;
    const char* host;
    int port;
  };
  const Case cases[] = {{"direct://", "", "", 0},
                        {"http://proxy.example:3128", "HTTP", "proxy.example", 3128},
                        {"https://p:8443", "HTTPS", "p", 8443},
                        {"socks5://s:1081", "SOCKS5", "s", 1081},
                        {"socks://s", "SOCKS5", "s", 1080},
                        {"socks4a://s:9", "SOCKS4A", "s", 9},
                        {"socks4://s:9", "SOCKS4", "s", 9},
                        {"ftp://x:1", "", "", 0}};
  for (const Case& c : cases) {
    const auto choice = http::proxyChoiceFromUri(c.uri);
    EXPECT_EQ(choice.type, c.type) << c.uri;
    EXPECT_EQ(choice.host, c.host) << c.uri;
    EXPECT_EQ(choice.port, c.port) << c.uri;
  }
}

}  // namespace
}  // namespace nb::test

namespace nb::test {
namespace {

TEST(ProxyTunnel, AnHttpsRequestGoesThroughConnect) {
  registerTestIdentity();
  ScriptedHttpServer secure(true);
  secure.on("/s", ScriptedReply::ok("tunnelled"));
  ScriptedHttpServer proxy;
  ProxyResolver::setCurrent(std::make_shared<FixedResolver>(std::vector<std::string>{proxy.url("")}));
  auto request = http::ASIHTTPRequest::requestWithURL(secure.url("/s"));
  request->validatesSecureCertificate = false;
  request->startSynchronous();
  ProxyResolver::setCurrent(nullptr);
  EXPECT_EQ(errorCode(*request), 0);
  EXPECT_EQ(request->responseString(), "tunnelled");
  ASSERT_FALSE(proxy.requests().empty());
  EXPECT_EQ(proxy.requests().front().method, "CONNECT");
  EXPECT_EQ(secure.requests().size(), 1u);
}

}  // namespace
}  // namespace nb::test

#include <filesystem>
#include <fstream>

#include "http/proxy/PacScript.h"
#include "http/shared/ASIHTTPRequestDefaults.h"

namespace nb::test {
namespace {

class PacTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerTestIdentity();
    proxy_.on("/x", [](const ScriptedRequest& request) { return ScriptedReply::ok(request.target); });
    target_.on("/x", ScriptedReply::ok("direct"));
  }
  void TearDown() override { std::filesystem::remove(scriptFile_); }

  std::string writeScript(const std::string& answer) {
    std::ofstream(scriptFile_) << "function FindProxyForURL(url, host) {\n"
                               << "  if (!shExpMatch(url, '*/x*') || !isPlainHostName('a')) return 'bad';\n"
                               << "  return '" << answer << "';\n}\n";
    return "file://" + scriptFile_;
  }

  std::shared_ptr<http::ASIHTTPRequest> run(const std::string& pacUrl) {
    auto request = http::ASIHTTPRequest::requestWithURL(target_.url("/x"));
    request->PACurl = pacUrl;
    request->startSynchronous();
    return request;
  }

  ScriptedHttpServer proxy_;
  ScriptedHttpServer target_;
  std::string scriptFile_ = http::temporaryFilePath() + ".pac";
};

TEST_F(PacTest, AScriptNamingTheProxyIsHonouredBothWays) {
  const std::string pac = writeScript("PROXY 127.0.0.1:" + std::to_string(proxy_.port()));
  const auto sync = run(pac);
  EXPECT_EQ(errorCode(*sync), 0);
  EXPECT_EQ(sync->responseString(), target_.url("/x"));

  auto async = http::ASIHTTPRequest::requestWithURL(target_.url("/x"));
  async->PACurl = pac;
  RecordingDelegate delegate;
  ASSERT_TRUE(runAsynchronously(async, delegate));
  EXPECT_EQ(async->responseString(), target_.url("/x"));
  EXPECT_EQ(proxy_.requests().size(), 2u);
}

TEST_F(PacTest, EveryScriptFailureGoesDirect) {
  ScriptedReply notFound = ScriptedReply::ok("<html>404</html>");
  notFound.status = 404;
  proxy_.on("/proxy.pac", notFound);
  const std::vector<std::string> scripts = {
      writeScript("DIRECT"), "ftp://127.0.0.1/proxy.pac", proxy_.url("/proxy.pac"),
      "file:///nonexistent/proxy.pac", writeScript("NONSENSE here")};
  for (const auto& pac : scripts) {
    const auto request = run(pac);
    EXPECT_EQ(errorCode(*request), 0) << pac;
    EXPECT_EQ(request->responseString(), "direct") << pac;
  }
  const auto seen = proxy_.requests();
  ASSERT_EQ(seen.size(), 1u);  // only the script fetch itself
  EXPECT_EQ(seen[0].target, "/proxy.pac");
}

TEST(PacAnswers, Parsing) {
  EXPECT_EQ(http::parsePacAnswer("PROXY p:1; SOCKS s:2;DIRECT"),
            (std::vector<std::string>{"http://p:1", "socks://s:2", "direct://"}));
  EXPECT_EQ(http::parsePacAnswer("socks5 s:3; HTTPS h:4"),
            (std::vector<std::string>{"socks5://s:3", "https://h:4"}));
  EXPECT_FALSE(http::parsePacAnswer("PROXY"));
  EXPECT_FALSE(http::parsePacAnswer("TUNNEL t:1"));
}

TEST(PacAnswers, HelpersAndThrowingScripts) {
  const char* script =
      "function FindProxyForURL(url, host) {"
      "  if (isInNet(host, '10.0.0.0', '255.0.0.0') && dnsDomainLevels('a.b.c') == 2 &&"
      "      dnsDomainIs('www.example.com', '.example.com') && weekdayRange('SUN', 'SAT'))"
      "    return 'PROXY inner:8080';"
      "  return 'DIRECT'; }";
  EXPECT_EQ(http::evaluatePacScript(script, "http://10.1.2.3/", "10.1.2.3"),
            (std::vector<std::string>{"http://inner:8080"}));
  EXPECT_EQ(http::evaluatePacScript(script, "http://192.168.1.1/", "192.168.1.1"),
            (std::vector<std::string>{"direct://"}));
  EXPECT_FALSE(http::evaluatePacScript("function FindProxyForURL() { throw 1; }", "http://a/", "a"));
  EXPECT_FALSE(http::evaluatePacScript("this is not javascript", "http://a/", "a"));
}

}  // namespace
}  // namespace nb::test
