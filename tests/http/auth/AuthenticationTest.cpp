// Answering 401 and 407: what is sent, how often, and what is remembered.

#include <gtest/gtest.h>

#include "http/HttpTestSupport.h"
#include "http/auth/ASIAuthentication.h"
#include "http/proxy/ProxyResolver.h"

namespace nb::test {
namespace {

using http::ASIHTTPRequest;
using http::ASISessionCredentials;

const std::string kGood = "Basic " + ASIHTTPRequest::base64forData("ann:secret");

ScriptedHttpServer::Script guarded(const char* challengeHeader, const char* answerHeader,
                                   int status) {
  return [=](const ScriptedRequest& request) {
    if (request.header(answerHeader) == kGood) return ScriptedReply::ok("in");
    ScriptedReply denied = ScriptedReply::ok("denied");
    denied.status = status;
    denied.reason = "Authentication Required";
    return denied.header(challengeHeader, "Basic realm=\"files\"");
  };
}

class MemoryCredentialStorage final : public http::ASICredentialStorage {
 public:
  std::vector<std::pair<http::ASIProtectionSpace, http::ASICredentials>> saved;
  std::optional<http::ASICredentials> credentialsFor(const http::ASIProtectionSpace& space) override {
    for (const auto& [s, c] : saved) {
      if (s == space) return c;
    }
    return std::nullopt;
  }
  void save(const http::ASIProtectionSpace& space, const http::ASICredentials& c) override {
    saved.emplace_back(space, c);
  }
  void remove(const http::ASIProtectionSpace&) override {}
};

class AuthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerTestIdentity();
    ASISessionCredentials::clearServerEntries();
    ASISessionCredentials::clearProxyEntriesForTesting();
    server_.on("/private", guarded("WWW-Authenticate", "Authorization", 401));
  }
  void TearDown() override {
    ASISessionCredentials::clearServerEntries();
    ASISessionCredentials::clearProxyEntriesForTesting();
  }
  std::shared_ptr<ASIHTTPRequest> get(const std::string& url,
                                      const std::function<void(ASIHTTPRequest&)>& setUp = {}) {
    auto request = ASIHTTPRequest::requestWithURL(url);
    if (setUp) setUp(*request);
    request->startSynchronous();
    return request;
  }
  size_t served() const { return server_.requests().size(); }

  ScriptedHttpServer server_;
};

TEST_F(AuthTest, WithoutCredentialsA401EndsInCode3AfterOneRequest) {
  const auto request = get(server_.url("/private"));
  EXPECT_EQ(errorCode(*request), http::ASIAuthenticationErrorType);
  EXPECT_EQ(request->responseStatusCode(), 401);
  EXPECT_EQ(served(), 1u);

  ScriptedReply bare = ScriptedReply::ok();
  bare.status = 401;
  server_.on("/bare", bare);
  const auto unreadable = get(server_.url("/bare"), [](ASIHTTPRequest& r) {
    r.username = "ann";
    r.password = "secret";
  });
  ASSERT_TRUE(unreadable->error());
  EXPECT_EQ(unreadable->error()->code(), http::ASIInternalErrorWhileApplyingCredentialsType);
  EXPECT_EQ(unreadable->error()->localizedDescription(),
            "Failed to get authentication object from response headers");
}

TEST_F(AuthTest, CredentialsThatWorkAreRememberedAndSentFirstNextTime) {
  const auto first = get(server_.url("/private"), [](ASIHTTPRequest& r) {
    r.username = "ann";
    r.password = "secret";
  });
  EXPECT_EQ(errorCode(*first), 0);
  EXPECT_EQ(first->responseString(), "in");
  ASSERT_EQ(served(), 2u);
  EXPECT_FALSE(server_.requests()[0].header("Authorization"));
  EXPECT_EQ(server_.requests()[1].header("Authorization"), kGood);

  const auto next = get(server_.url("/private?again"));
  EXPECT_EQ(errorCode(*next), 0);
  EXPECT_EQ(served(), 3u);
  EXPECT_EQ(server_.requests()[2].header("Authorization"), kGood);
}

TEST_F(AuthTest, WrongCredentialsEndInCode3AfterExactlyTwoRequests) {
  const auto request = get(server_.url("/private"), [](ASIHTTPRequest& r) {
    r.username = "ann";
    r.password = "wrong";
  });
  EXPECT_EQ(errorCode(*request), http::ASIAuthenticationErrorType);
  EXPECT_EQ(served(), 2u);
  EXPECT_TRUE(ASISessionCredentials::serverEntries().empty());
}

TEST_F(AuthTest, CredentialsInTheUrlAreUsedButNotSentUnasked) {
  std::string url = server_.url("/private");
  url.insert(url.find("//") + 2, "ann:secret@");
  const auto request = get(url);
  EXPECT_EQ(errorCode(*request), 0);
  ASSERT_EQ(served(), 2u);
  EXPECT_FALSE(server_.requests()[0].header("Authorization"));
}

TEST_F(AuthTest, PreemptiveBasicIsSentAtOnceAndACallersHeaderWins) {
  const auto request = get(server_.url("/private"), [](ASIHTTPRequest& r) {
    r.username = "ann";
    r.password = "secret";
    r.authenticationScheme = "Basic";
  });
  EXPECT_EQ(errorCode(*request), 0);
  EXPECT_EQ(served(), 1u);
  ASISessionCredentials::clearServerEntries();
  const auto own = get(server_.url("/private"), [](ASIHTTPRequest& r) {
    r.username = "ann";
    r.password = "secret";
    r.authenticationScheme = "Basic";
    r.addRequestHeader("Authorization", "Bearer x");
  });
  EXPECT_EQ(server_.requests()[1].header("Authorization"), "Bearer x");
  EXPECT_EQ(server_.requests().back().header("Authorization"), kGood);
  EXPECT_EQ(errorCode(*own), 0);
}

class AskingDelegate : public RecordingDelegate {
 public:
  int asked = 0;
  bool respondsToSelector(std::string_view name) const override {
    return name == http::selector::authenticationNeeded || RecordingDelegate::respondsToSelector(name);
  }
  void authenticationNeededForRequest(ASIHTTPRequest& request) override {
    ++asked;
    request.username = "ann";
    request.password = "secret";
    request.retryUsingSuppliedCredentials();
  }
};

TEST_F(AuthTest, AnAsynchronousRequestAsksItsDelegateASynchronousOneNever) {
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/private"));
  AskingDelegate delegate;
  ASSERT_TRUE(runAsynchronously(request, delegate));
  EXPECT_EQ(delegate.asked, 1);
  EXPECT_EQ(delegate.finished, 1);
  EXPECT_EQ(request->responseString(), "in");

  ASISessionCredentials::clearServerEntries();
  auto sync = ASIHTTPRequest::requestWithURL(server_.url("/private"));
  AskingDelegate never;
  sync->setDelegate(&never);
  sync->startSynchronous();
  pumpMainThread();
  EXPECT_EQ(never.asked, 0);
  EXPECT_EQ(errorCode(*sync), http::ASIAuthenticationErrorType);
}

TEST_F(AuthTest, AProxyChallengeIsAnsweredFromTheFieldsOrTheStorage) {
  ScriptedHttpServer proxy;
  proxy.on("/p", guarded("Proxy-Authenticate", "Proxy-Authorization", 407));
  const auto previous = http::ProxyResolver::setCurrent(
      std::make_shared<FixedProxyResolver>("http://127.0.0.1:" + std::to_string(proxy.port())));
  const std::string target = "http://nowhere.invalid/p";

  const auto none = get(target);
  EXPECT_EQ(errorCode(*none), http::ASIAuthenticationErrorType);
  EXPECT_EQ(none->responseStatusCode(), 407);

  const auto fields = get(target, [](ASIHTTPRequest& r) {
    r.proxyUsername = "ann";
    r.proxyPassword = "secret";
  });
  EXPECT_EQ(fields->responseString(), "in");

  ASISessionCredentials::clearProxyEntriesForTesting();
  auto storage = std::make_shared<MemoryCredentialStorage>();
  storage->save({true, "127.0.0.1", proxy.port(), "", "files"}, {"ann", "secret", {}});
  const auto previousStorage = http::ASICredentialStorage::setShared(storage);
  const auto stored = get(target);
  http::ASICredentialStorage::setShared(previousStorage);
  http::ProxyResolver::setCurrent(previous);
  EXPECT_EQ(stored->responseString(), "in");
}

TEST(AuthRules, ChallengesDomainsAndSessionLookup) {
  platform::HttpHeaders headers;
  headers.add("WWW-Authenticate", "Negotiate");
  headers.add("WWW-Authenticate", "Basic realm=\"a, b\", charset=\"UTF-8\"");
  const auto challenge = http::challengeFromHeaders(headers, false);
  ASSERT_TRUE(challenge);
  EXPECT_EQ(challenge->scheme, "Basic");
  EXPECT_EQ(challenge->realm, "a, b");
  EXPECT_FALSE(http::challengeFromHeaders(headers, true));

  using Split = std::pair<std::string, std::string>;
  EXPECT_EQ(http::splitAccountDomain("CORP\\ann", ""), (Split{"CORP", "ann"}));
  EXPECT_EQ(http::splitAccountDomain("A\\\\ann", ""), (Split{"", "A\\\\ann"}));
  EXPECT_EQ(http::splitAccountDomain("CORP\\ann", "OTHER"), (Split{"OTHER", "CORP\\ann"}));

  ASISessionCredentials::clearServerEntries();
  auto credentials = [](const char* user) {
    return std::make_shared<const http::ASICredentials>(http::ASICredentials{user, "pw", {}});
  };
  ASISessionCredentials::storeServerEntry({std::nullopt, credentials("near"), "http://h:8/other", "", 0, "Basic", "r1"});
  ASISessionCredentials::storeServerEntry({std::nullopt, credentials("exact"), "http://h:8/x", "", 0, "Basic", std::nullopt});
  EXPECT_EQ(ASISessionCredentials::findServerEntry("http://h:8/x", std::nullopt, "", "")->credentials->username, "exact");
  EXPECT_EQ(ASISessionCredentials::findServerEntry("http://h:8/y", std::nullopt, "", "")->credentials->username, "near");
  // A realm filters only when both sides have one.
  EXPECT_EQ(ASISessionCredentials::findServerEntry("http://h:8/y", "r2", "", "")->credentials->username, "exact");
  EXPECT_FALSE(ASISessionCredentials::findServerEntry("http://h:9/x", std::nullopt, "", ""));
  EXPECT_FALSE(ASISessionCredentials::findServerEntry("http://h:8/x", std::nullopt, "someone", "pw"));
  ASISessionCredentials::clearServerEntries();
}

}  // namespace
}  // namespace nb::test
