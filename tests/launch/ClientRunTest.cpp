// The client as a user runs it: the real program under Xvfb against the
// fake service, observed through its log, its settings store and the fake.

#include <gtest/gtest.h>

#include <thread>

#include "launch/ClientRun.h"
#include "support/FakeFault.h"

namespace nb::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kSessionStarted = "session started for member 1";
constexpr const char* kEnginesRunning = "sync centre, transfer engine and LAN service running";
constexpr const char* kStoresOpen = "session stores open";
// The main page reports itself through a page function that logs its argument.
constexpr const char* kMainShown = "gGetNetworkStatus,main-page-shown";
const std::string kReportMainPage = "nbClient.gGetNetworkStatus('main-page-shown');";

class ClientRunTest : public ClientRun {};

TEST_F(ClientRunTest, SignsInOnTheSignInPageThenByItselfAfterAQuit) {
  setAutorun(signInScript(), kReportMainPage);
  pid_t first = startClient();
  ASSERT_TRUE(waitForLog(kMainShown)) << logText();
  EXPECT_EQ(countLog(kStoresOpen), 1u);
  EXPECT_EQ(countLog(kEnginesRunning), 1u);
  EXPECT_EQ(countLog(kSessionStarted), 1u);
  EXPECT_FALSE(demo().auth().activatedRefreshTokens().empty());
  EXPECT_EQ(stopClient(first), 0);
  EXPECT_EQ(storedUserId(), 1);

  // The sign-in page would sign in again if it were shown: it is not.
  pid_t second = startClient();
  ASSERT_TRUE(waitForLog(kMainShown, 2)) << logText();
  EXPECT_EQ(countLog(kSessionStarted), 2u);
  EXPECT_EQ(countLog("gStartLaunchpad"), 1u);
  EXPECT_EQ(stopClient(second), 0);
}

TEST_F(ClientRunTest, ARefusedRefreshTokenShowsTheSignInPageAndForgetsTheSignIn) {
  const FakeTokenPair pair = demo().api().tokens().issue();
  storeSignIn(pair.accessToken, pair.refreshToken);
  demo().auth().refuseTokens("invalid_grant", "signed in elsewhere", 0, 5);
  setAutorun("page.onEvent('LoginResult', function (e) {"
             " nbClient.gGetNetworkStatus('login-result:' + e.detail.error + ':' +"
             " e.detail.error_description + ':' + e.detail.token); });",
             "");
  pid_t client = startClient();
  ASSERT_TRUE(waitForLog("login-result:102:signed in elsewhere:")) << logText();
  EXPECT_EQ(countLog(kSessionStarted), 0u);
  EXPECT_EQ(stopClient(client), 0);
  EXPECT_EQ(storedUserId(), -1);
}

TEST_F(ClientRunTest, StartsOfflineOnTheStoredSignInAndReconnects) {
  const FakeTokenPair pair = demo().api().tokens().issue();
  storeSignIn(pair.accessToken, pair.refreshToken);
  // The refresh at start-up gets no answer: the session starts on the
  // stored tokens, and the next answer brings the network back.
  demo().api().fail("/oauth2/token2", FakeFault::drop().times(1));
  setAutorun("", kReportMainPage);
  pid_t client = startClient();
  ASSERT_TRUE(waitForLog(kSessionStarted)) << logText();
  // Back online, the session refreshes its tokens: a second token call.
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (demo().api().callsTo("/oauth2/token2").size() < 2 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_GE(demo().api().callsTo("/oauth2/token2").size(), 2u) << logText();
  EXPECT_TRUE(waitForLog(kMainShown)) << logText();
  EXPECT_EQ(stopClient(client), 0);
}

TEST_F(ClientRunTest, TheHideSwitchNeitherSignsInNorShowsTheSignInPage) {
  const FakeTokenPair pair = demo().api().tokens().issue();
  storeSignIn(pair.accessToken, pair.refreshToken);
  setAutorun("nbClient.gGetNetworkStatus('login-page-shown');", "");
  pid_t client = startClient({"meadowcourt"});
  ASSERT_TRUE(waitForLog("applicationDidFinishLaunching")) << logText();
  std::this_thread::sleep_for(3s);
  EXPECT_TRUE(demo().api().callsTo("/oauth2/token2").empty());
  EXPECT_EQ(countLog("login-page-shown"), 0u);
  EXPECT_EQ(countLog(kSessionStarted), 0u);
  EXPECT_EQ(stopClient(client), 0);
}

TEST_F(ClientRunTest, ASecondLaunchForwardsToTheFirstAndEnds) {
  pid_t first = startClient();
  ASSERT_TRUE(waitForLog("applicationDidFinishLaunching")) << logText();
  pid_t second = startClient();
  EXPECT_EQ(waitExit(second, 60s), 255);
  EXPECT_TRUE(waitForLog("another launch forwarded reopen")) << logText();
  EXPECT_EQ(countLog("applicationDidFinishLaunching"), 1u);
  EXPECT_EQ(stopClient(first), 0);
}

TEST_F(ClientRunTest, ARelaunchWaitsForTheEndingProcess) {
  pid_t first = startClient();
  ASSERT_TRUE(waitForLog("applicationDidFinishLaunching")) << logText();
  pid_t relaunched = startClient({"--relaunch"});
  std::this_thread::sleep_for(2s);  // the old process takes its time to end
  EXPECT_EQ(countLog("applicationDidFinishLaunching"), 1u);
  EXPECT_EQ(stopClient(first), 0);
  EXPECT_TRUE(waitForLog("applicationDidFinishLaunching", 2)) << logText();
  EXPECT_FALSE(waitExit(relaunched, 1s).has_value());
  EXPECT_EQ(stopClient(relaunched), 0);
}

}  // namespace
}  // namespace nb::test
