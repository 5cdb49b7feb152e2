#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "api/models/RetToken.h"
#include "api/models/RetUserInfo.h"
#include "api/server/ServerInfo.h"
#include "api/session/TestUserData.h"
#include "api/session/UserData.h"
#include "foundation/util/UtilUrl.h"
#include "support/FakeAppState.h"
#include "support/FakeAuthEndpoints.h"
#include "support/FakeService.h"
#include "support/LogCapture.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb {
namespace {

using namespace std::chrono_literals;
using test::FakeFault;
using Call = test::FakeAppState::Call;

class UserDataTokenTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    app_->useServerAt(root(), service_.host());
    user_ = test::makeTestUserData(home());
    pair_ = service_.tokens().issue();
    user_->setUserToken(pair_.accessToken);
    user_->setRefreshToken(pair_.refreshToken);
    user_->setUserID(7);
    user_->setUserEmail("ann@example.org");
    // The stored sign-in goes first, while the session is still whole.
    UserData::setSessionHooks({.clearuserinfo =
                                   [this] {
                                     clearedBefore_.push_back(app_->calls().size());
                                     clearedBefore_.push_back(user_->userID());
                                   },
                               .reloadAccountSettings = [this](const std::string& token) {
                                 reloadedWith_ = token;
                               },
                               .update2to3 = {}});
    test::pumpMainThread();  // this thread is the main thread
  }
  void TearDown() override {
    UserData::setSessionHooks({});
    TempHome::TearDown();
  }

  std::vector<std::string> refreshTokensSent() const {
    std::vector<std::string> out;
    for (const auto& call : service_.callsTo("/oauth2/token2")) out.push_back(call.param("refresh_token").value_or(""));
    return out;
  }

  test::ScopedAppState app_;
  test::FakeService service_;
  test::FakeAuthEndpoints auth_{service_};
  std::unique_ptr<UserData> user_;
  test::FakeTokenPair pair_;
  std::string reloadedWith_;
  // Per clearuserinfo: the shell calls made before it, then the user id.
  std::vector<int64_t> clearedBefore_;
};

TEST_F(UserDataTokenTest, ConcurrentRefreshesRunOneAfterTheOther) {
  // The first answer is slow, so the second caller surely arrives meanwhile.
  service_.fail("/oauth2/token2", FakeFault::slow(300ms).times(1));
  std::string first, second;
  std::thread a([&] { first = user_->getTokenByRefresh(); });
  std::this_thread::sleep_for(50ms);
  std::thread b([&] { second = user_->getTokenByRefresh(); });
  a.join();
  b.join();

  const auto sent = refreshTokensSent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], pair_.refreshToken);
  EXPECT_NE(sent[1], pair_.refreshToken);  // the one the first refresh stored
  EXPECT_NE(first, pair_.accessToken);
  EXPECT_NE(second, first);
  EXPECT_EQ(user_->userToken(), second);
  EXPECT_EQ(service_.tokens().state(second), test::FakeTokens::State::Live);
  EXPECT_TRUE(app_->calls().empty());
}

TEST_F(UserDataTokenTest, FailedSynchronousRefreshKeepsTokenAndSession) {
  auth_.refuseTokens("invalid_grant", "gone");
  EXPECT_EQ(user_->getTokenByRefresh(), pair_.accessToken);
  EXPECT_EQ(user_->refreshToken(), pair_.refreshToken);
  EXPECT_EQ(user_->userID(), 7);
  EXPECT_TRUE(app_->calls().empty());
}

TEST_F(UserDataTokenTest, SecondBackgroundRefreshReturnsAtOnce) {
  service_.fail("/oauth2/token2", FakeFault::slow(500ms).times(1));
  std::thread a([&] { user_->regettoken(); });
  ASSERT_TRUE(test::pumpMainThreadUntil([&] { return user_->refreshing(); }, 5s));
  user_->regettoken();  // must not wait for the first
  EXPECT_TRUE(user_->refreshing());
  a.join();
  EXPECT_FALSE(user_->refreshing());
  EXPECT_EQ(refreshTokensSent().size(), 1u);
  EXPECT_NE(user_->userToken(), pair_.accessToken);
  EXPECT_EQ(reloadedWith_, user_->userToken());
}

TEST_F(UserDataTokenTest, RefusalSignsOutInOrder) {
  struct Case {
    const char* error;
    int errorCode;
    bool updateCheck;
  };
  for (const Case& c : {Case{"invalid_grant", 0, false}, Case{"access_upgrade", 0, false},
                        Case{"deprecated_client", 0, true}, Case{"", 40120, false}}) {
    SCOPED_TRACE(c.error);
    app_->clear();
    clearedBefore_.clear();
    user_->setUserToken(pair_.accessToken);
    user_->setUserID(7);
    auth_.refuseTokens(c.error, std::string(c.error) == "invalid_grant" ? "signed out" : "",
                       c.errorCode);
    user_->regettoken();

    const std::string message = std::string(c.error) == "invalid_grant"
                                    ? "signed out"
                                    : Util::getChangeTokenError("");
    EXPECT_EQ(clearedBefore_, (std::vector<int64_t>{0, 7}));
    std::vector<Call> expected{{"gSetMessageCount", R"({"count":0})"},
                               {"refreshWithLoginByTokenError", ""},
                               {"logoutByError", ""},
                               {"loginResultOnMainThread", "login|102|" + message}};
    if (c.updateCheck) expected.push_back({"checkServerAppandUI", ""});
    const auto calls = app_->calls();
    EXPECT_EQ(calls, expected);
    for (size_t i = 1; i < 4 && i < calls.size(); ++i) EXPECT_TRUE(calls[i].onMainThread);
    EXPECT_EQ(user_->userToken(), "");
    EXPECT_EQ(user_->userID(), 0);
    EXPECT_FALSE(user_->refreshing());
  }
}

TEST_F(UserDataTokenTest, UnwiredHooksAreLoggedAsErrors) {
  UserData::setSessionHooks({});
  test::LogCapture log;
  user_->regettoken();  // a good refresh: the reload has no one to run it
  auth_.refuseTokens("invalid_grant", "signed out");
  user_->regettoken();
  const auto errors = log.errorLines();
  const auto logged = [&errors](const char* hook) {
    return std::any_of(errors.begin(), errors.end(),
                       [hook](const std::string& line) { return line.find(hook) != std::string::npos; });
  };
  EXPECT_TRUE(logged("no reloadAccountSettings registered"));
  EXPECT_TRUE(logged("no clearuserinfo registered"));
  EXPECT_EQ(user_->userToken(), "");  // the sign-out itself still ran
  EXPECT_EQ(app_->count("logoutByError"), 1u);
}

TEST_F(UserDataTokenTest, ServerFaultsAndUnmappedErrorsKeepTheSession) {
  const FakeFault faults[] = {FakeFault::errorCode(40120, 503), FakeFault::errorCode(50000, 500),
                              FakeFault::bareStatus(400), FakeFault::drop()};
  for (const auto& fault : faults) {
    service_.fail("/oauth2/token2", fault.times(1));
    user_->regettoken();
  }
  auth_.refuseTokens("invalid_request", "bad form");  // OAuth code 0
  user_->regettoken();

  EXPECT_EQ(refreshTokensSent().size(), 5u);
  EXPECT_TRUE(app_->calls().empty());
  EXPECT_EQ(user_->userToken(), pair_.accessToken);
  EXPECT_EQ(user_->refreshToken(), pair_.refreshToken);
  EXPECT_EQ(user_->userID(), 7);
  EXPECT_FALSE(user_->refreshing());
}

TEST_F(UserDataTokenTest, RefusalClassification) {
  struct Case {
    int64_t status, code;
    const char* error;
    bool refused;
  };
  for (const Case& c : {Case{400, 1, "invalid_grant", true}, Case{401, 40102, "", true},
                        Case{400, 0, "invalid_request", false}, Case{503, 40120, "", false},
                        Case{503, 1, "invalid_grant", false}, Case{0, 0, "", false},
                        Case{200, 0, "", false}}) {
    RetToken ret;
    ret.setNStatusCode(c.status);
    ret.setNErrorCode(c.code);
    ret.setStrErrorMsg(c.error);
    EXPECT_EQ(UserData::isRefusedRefresh(ret), c.refused) << c.status << " " << c.code;
  }
}

TEST_F(UserDataTokenTest, AccountInformationIsCopied) {
  RetUserInfo info;
  info.nUserID = 42;
  info.strUserEmail = "bo@example.org";
  info.strUserName = "Bo";
  info.strPhotoUrl = "https://p/x.png";
  info.strUserPhone = "123";
  info.strJsonInfo = R"({"member_id":42})";
  info.strMemberAccount = "bo";
  for (const auto& [status, registered] : {std::pair{0, false}, {1, true}, {2, true}}) {
    info.nDeviceStatus = status;
    user_->updateUserInfoByRetUserInfo(info);
    EXPECT_EQ(user_->devicestatus(), registered) << status;
  }
  EXPECT_EQ(user_->userID(), 42);
  EXPECT_EQ(user_->userEmail(), "bo@example.org");
  EXPECT_EQ(user_->userWebName(), "Bo");
  EXPECT_EQ(user_->userPhoto(), "https://p/x.png");
  EXPECT_EQ(user_->userPhone(), "123");
  EXPECT_EQ(user_->jsonUserinfo(), R"({"member_id":42})");
  EXPECT_EQ(user_->strMemberAccount(), "bo");
}

}  // namespace
}  // namespace nb
