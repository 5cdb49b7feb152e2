// The keep-alive model on its own, and the connections the server sees.

#include <gtest/gtest.h>

#include "http/HttpTestSupport.h"
#include "http/pool/ConnectionPool.h"
#include "support/ManualClock.h"

namespace nb::test {
namespace {

using http::ASIHTTPRequest;
using http::ConnectionPool;
using http::PoolEntry;

struct Claimer {
  std::shared_ptr<PoolEntry> entry;
  std::optional<uint32_t> requestID;
  bool persistent = true;
  http::ConnectionChoice claim(const std::string& scheme, int port = 0) {
    return ConnectionPool::shared().claim(scheme, "h", port, persistent, entry, requestID);
  }
};

class PoolModel : public ::testing::Test {
 protected:
  void SetUp() override { ConnectionPool::shared().clearForTesting(); }
  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  ScopedClockOverride override_{clock_};
};

TEST_F(PoolModel, TwoAtOnceMakeTwoEntriesAndAThirdTakesTheLastIdleOne) {
  Claimer first, second, third;
  EXPECT_TRUE(first.claim("https").freshConnect);
  second.claim("https");
  EXPECT_NE(first.entry->id, second.entry->id);
  ConnectionPool::shared().handBack(*first.entry, true, 60);
  ConnectionPool::shared().handBack(*second.entry, true, 60);
  const auto choice = third.claim("https");
  EXPECT_EQ(third.entry->id, second.entry->id);
  EXPECT_FALSE(choice.freshConnect);
  EXPECT_EQ(choice.maxAgeSeconds, 60);
  EXPECT_NE(third.requestID, second.requestID);
}

TEST_F(PoolModel, ExplicitPortAndNoPortAreDifferentEntries) {
  Claimer plain, explicitPort;
  plain.claim("https", 0);
  ConnectionPool::shared().handBack(*plain.entry, true, 60);
  explicitPort.claim("https", 443);
  EXPECT_NE(plain.entry->id, explicitPort.entry->id);
}

TEST_F(PoolModel, AnIdleEntryPastItsLifetimeGoesAtTheNextOpening) {
  Claimer first, later;
  first.claim("http");
  ConnectionPool::shared().handBack(*first.entry, true, 1);
  clock_->advance(std::chrono::milliseconds(1500));
  ConnectionPool::shared().expirePersistentConnections();
  EXPECT_TRUE(ConnectionPool::shared().entries().empty());
  EXPECT_TRUE(later.claim("http").freshConnect);
  EXPECT_NE(later.entry->id, first.entry->id);
}

TEST_F(PoolModel, AnEntryWhoseResponseForbadeReuseConnectsAnew) {
  Claimer first, second;
  first.claim("http");
  ConnectionPool::shared().handBack(*first.entry, false, 60);
  const auto choice = second.claim("http");
  EXPECT_EQ(second.entry->id, first.entry->id);
  EXPECT_TRUE(choice.freshConnect);
}

TEST_F(PoolModel, PersistenceOffTakesNoEntry) {
  Claimer off;
  off.persistent = false;
  const auto choice = off.claim("http");
  EXPECT_TRUE(choice.freshConnect);
  EXPECT_TRUE(choice.forbidReuse);
  EXPECT_FALSE(off.entry);
  EXPECT_TRUE(ConnectionPool::shared().entries().empty());
}

class PoolSockets : public ::testing::Test {
 protected:
  void SetUp() override {
    registerTestIdentity();
    ConnectionPool::shared().clearForTesting();
  }

  // Two default GETs in a row; answers the connections the server accepted.
  int connectionsForTwoGets(const ScriptedReply& first, bool synchronous = false,
                            std::function<void()> between = {}) {
    server_.on("/first", first);
    server_.on("/second", ScriptedReply::ok("2"));
    for (const char* path : {"/first", "/second"}) {
      auto request = ASIHTTPRequest::requestWithURL(server_.url(path));
      RecordingDelegate delegate;
      if (synchronous) {
        request->startSynchronous();
      } else {
        EXPECT_TRUE(runAsynchronously(request, delegate));
      }
      EXPECT_EQ(errorCode(*request), 0);
      if (between && path == std::string("/first")) between();
    }
    return server_.acceptedConnections();
  }

  ScriptedHttpServer server_;
};

TEST_F(PoolSockets, TwoAsynchronousGetsShareOneConnection) {
  EXPECT_EQ(connectionsForTwoGets(ScriptedReply::ok("1")), 1);
  const auto seen = server_.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].connection, seen[1].connection);
}

TEST_F(PoolSockets, TwoSynchronousGetsOnOneThreadShareOneConnection) {
  EXPECT_EQ(connectionsForTwoGets(ScriptedReply::ok("1"), true), 1);
}

TEST_F(PoolSockets, ConnectionCloseMakesTheNextRequestConnectAnew) {
  EXPECT_EQ(connectionsForTwoGets(ScriptedReply::ok("1").header("Connection", "close")), 2);
}

TEST_F(PoolSockets, KeepAliveWithFewRequestsLeftIsNotKept) {
  EXPECT_EQ(connectionsForTwoGets(ScriptedReply::ok("1").header("Keep-Alive", "timeout=5, max=5")),
            2);
}

TEST_F(PoolSockets, AConnectionIdlePastItsKeepAliveTimeoutIsNotReused) {
  auto clock = std::make_shared<ManualClock>();
  ScopedClockOverride override(clock);
  EXPECT_EQ(connectionsForTwoGets(ScriptedReply::ok("1").header("Keep-Alive", "timeout=1, max=100"),
                                  false, [&] { clock->advance(std::chrono::milliseconds(1500)); }),
            2);
}

TEST_F(PoolSockets, PutPostAndPersistenceOffNeverTakeAnEntry) {
  server_.on("/x", ScriptedReply::ok());
  for (const char* method : {"PUT", "POST", "GET"}) {
    auto request = ASIHTTPRequest::requestWithURL(server_.url("/x"));
    request->setRequestMethod(method);
    if (std::string(method) != "GET") request->appendPostData("b");
    if (std::string(method) == "GET") request->shouldAttemptPersistentConnection = false;
    request->startSynchronous();
    EXPECT_EQ(errorCode(*request), 0) << method;
    EXPECT_FALSE(request->connectionID()) << method;
    EXPECT_FALSE(request->connectionCanBeReused()) << method;
  }
  EXPECT_TRUE(ConnectionPool::shared().entries().empty());
  EXPECT_EQ(server_.acceptedConnections(), 3);
}

TEST_F(PoolSockets, ARedirectToTheSameServerKeepsItsEntryAndElsewhereTakesAnother) {
  ScriptedHttpServer other;
  other.on("/there", ScriptedReply::ok());
  server_.on("/here", ScriptedReply::ok());
  server_.on("/same", ScriptedReply::redirect(302, "/here"));
  server_.on("/away", ScriptedReply::redirect(302, other.url("/there")));

  auto same = ASIHTTPRequest::requestWithURL(server_.url("/same"));
  same->startSynchronous();
  ASSERT_TRUE(same->connectionID());
  EXPECT_EQ(server_.acceptedConnections(), 1);

  auto away = ASIHTTPRequest::requestWithURL(server_.url("/away"));
  away->startSynchronous();
  EXPECT_EQ(errorCode(*away), 0);
  EXPECT_EQ(away->connectionID(), *same->connectionID() + 1);
  EXPECT_EQ(ConnectionPool::shared().entries().size(), 2u);
}

TEST_F(PoolSockets, ATimeOutTakesTheEntryOut) {
  ScriptedReply silent;
  silent.stallBeforeHead = true;
  server_.on("/silent", silent);
  auto request = ASIHTTPRequest::requestWithURL(server_.url("/silent"));
  request->timeOutSeconds = 0.3;
  request->startSynchronous();
  EXPECT_EQ(errorCode(*request), http::ASIRequestTimedOutErrorType);
  EXPECT_TRUE(ConnectionPool::shared().entries().empty());
}

}  // namespace
}  // namespace nb::test
