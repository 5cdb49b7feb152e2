#include "sync/centre/SessionSeams.h"

#include <gtest/gtest.h>

#include "api/calls/HTTPEngine.h"
#include "api/session/TestUserData.h"
#include "api/session/UserData.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/settings/SettingsDb.h"
#include "support/FakeAppState.h"
#include "support/FakeAuthEndpoints.h"
#include "support/FakeDrive.h"
#include "support/FakeService.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"
#include "sync/centre/SyncCenter.h"

namespace nb {
namespace {

using test::FakeFault;

// The session's background refresh with the real settings store, catalogue
// and delay list behind it.
class SessionSeamsTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    app_->useServerAt(root(), service_.host());
    auth_.addAccount("ann", "pw");
    drive_.addUser({.memberId = 7});
    settings().initpath((root() / "vesettings3.db").string());
    catalogue().setPath((root() / "vemountex3.db").string());
    delayList().clear();
    user_ = test::makeTestUserData(home());
    registerSessionSeams();
    test::pumpMainThread();  // this thread is the main thread
  }
  void TearDown() override {
    UserData::setSessionHooks({});
    delayList().clear();
    TempHome::TearDown();
  }

  // What the shell does at a remembered sign-in: the session takes the
  // tokens and the settings store keeps them.
  void signIn() {
    const RetToken ret = HTTPEngine::login("ann", "pw", "info", "dev-1", service_.baseUrl());
    ASSERT_EQ(ret.nStatusCode(), 200);
    user_->setUserToken(ret.strAccessToken);
    user_->setRefreshToken(ret.strRefreshToken);
    user_->setUserID(7);
    UserInfo saved;
    saved.userid = 7;
    saved.refreshtoken = ret.strRefreshToken;
    saved.token = ret.strAccessToken;
    settings().setuserinfo(saved);
    ASSERT_EQ(settings().getuserinfo().userid, 7);
  }

  // What an earlier reload left: one setting and one delay entry.
  static void storeEarlierSettings(const std::string& name) {
    SettingItem earlier;
    earlier.strSetting = name;
    catalogue().addSetting(earlier);
    delayList().addNode(R"({"old":5})");
  }

  static SettingsDb& settings() { return SettingsDb::shareSettingDb(); }
  static Mountsdb& catalogue() { return Mountsdb::shareMountsdb(); }
  static DelaySyncFile& delayList() { return SyncCenter::shareSyncCenter().delaySyncFile(); }

  test::ScopedAppState app_;
  test::FakeService service_;
  test::FakeAuthEndpoints auth_{service_};
  test::FakeDrive drive_{service_};
  std::unique_ptr<UserData> user_;
};

TEST_F(SessionSeamsTest, RefusedRefreshTokenClearsTheSavedSignIn) {
  signIn();
  service_.tokens().revokeRefresh(user_->refreshToken());
  user_->regettoken();
  EXPECT_EQ(settings().getuserinfo().userid, -1);
  EXPECT_EQ(user_->userToken(), "");
  EXPECT_EQ(app_->count("logoutByError"), 1u);
}

TEST_F(SessionSeamsTest, GoodRefreshReplacesTheAccountSettings) {
  signIn();
  storeEarlierSettings("stale");
  drive_.setSettings({{{"setting", "delay_sync_file"}, {"value", 1}, {"property", R"({"psd":60})"}},
                      {{"setting", "watermark"}, {"value", 2}, {"property", ""}}});

  user_->regettoken();
  EXPECT_EQ(settings().getuserinfo().userid, 7);
  EXPECT_FALSE(catalogue().getSetting("stale"));
  const auto delay = catalogue().getSetting("delay_sync_file");
  ASSERT_TRUE(delay);
  EXPECT_EQ(delay->strProperty, R"({"psd":60})");
  EXPECT_TRUE(catalogue().getSetting("watermark"));
  const auto nodes = delayList().nodes();
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].ext, "psd");
  EXPECT_EQ(nodes[0].delay, 60);
  // The reload used the new token.
  EXPECT_EQ(service_.callsTo("/1/account/setting").back().param("token"), user_->userToken());
}

TEST_F(SessionSeamsTest, FailedSettingsCallKeepsWhatWasStored) {
  signIn();
  storeEarlierSettings("kept");
  service_.fail("/1/account/setting", FakeFault::errorCode(50000, 500).times(1));
  user_->regettoken();
  EXPECT_TRUE(catalogue().getSetting("kept"));
  EXPECT_EQ(delayList().nodes().size(), 1u);
}

}  // namespace
}  // namespace nb
