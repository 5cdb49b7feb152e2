// The sign-in and account page functions against the fake service.

#include <gtest/gtest.h>

#include <fstream>

#include "api/calls/HTTPEngine.h"
#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/SignInFunctions.h"
#include "foundation/json/Json.h"
#include "shell/app/AppDelegate.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "support/FakeAuthEndpoints.h"
#include "support/FakeDemo.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::bridge {
namespace {

namespace fs = std::filesystem;

class SignInFunctionsTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    test::pumpMainThread();
    test::FakeService::Options options;
    options.https = true;
    demo_ = std::make_unique<test::FakeDemo>(options);
    const std::string host = demo_->api().host();
    const fs::path override = root() / "override";
    fs::create_directories(override);
    std::ofstream(override / "server.json")
        << "{\"serverhost\":\"" << host << "\",\"apihost\":\"" << host << "\",\"webhost\":\""
        << host << "\",\"https\":1,\"cafile\":\"" << demo_->api().caFile().string() << "\"}";
    auto info = std::make_shared<ServerInfo>(
        ServerInfo::Folders{root() / "config", root() / "install", override});
    info->setStrPassport(host);
    app_ = std::make_shared<AppDelegate>();
    app_->setServerInfo(info);
    setAppDelegate(app_);
    registerSignInFunctions();
    window_ = BrowserWebWindowController::create(*ui_, "sole", "");
  }
  void TearDown() override {
    setAppDelegate(nullptr);
    UserData::shareUserData().exit();
    demo_.reset();
    TempHome::TearDown();
  }

  std::string call(const std::string& name, const std::string& json) {
    PageCall page{name, {json}, {}};
    return pageHandler(name)(page, *window_).value_or("(no answer)");
  }
  static JsonValue parsed(const std::string& text) { return dictionaryFromString(text).value(); }

  test::ScopedFakeUi ui_;
  std::unique_ptr<test::FakeDemo> demo_;
  std::shared_ptr<AppDelegate> app_;
  std::shared_ptr<BrowserWebWindowController> window_;
};

TEST_F(SignInFunctionsTest, ASignInAnswersTheTokenButTheSessionWaitsForTheStart) {
  const JsonValue answer = parsed(call("gLogin", R"({"username":"demo","password":"demo"})"));
  EXPECT_EQ(jsonTextOrEmpty(answer, "error"), "");
  EXPECT_FALSE(jsonTextOrEmpty(answer, "token").empty());
  EXPECT_TRUE(app_->bLogin());
  EXPECT_EQ(UserData::shareUserData().userID(), test::FakeDemo::kMemberId);
  EXPECT_EQ(call("gGetToken", "{}"), "{}");
  EXPECT_EQ(call("gGetTokenInfo", "{}"), "{}");
  app_->setBLoginFinish(true);
  EXPECT_EQ(jsonTextOrEmpty(parsed(call("gGetToken", "{}")), "token"),
            jsonTextOrEmpty(answer, "token"));
  const JsonValue info = parsed(call("gGetTokenInfo", "{}"));
  EXPECT_EQ(jsonTextOrEmpty(info, "client_id"), "Tz7hWm3RnB9wFq1MvX5cLd2PsJe");
  EXPECT_TRUE(info["dateline"].isNumber());
}

TEST_F(SignInFunctionsTest, RefusalsAndFailuresTakeTheirAnswerForms) {
  demo_->auth().refuseTokens("invalid_grant", "");
  JsonValue answer = parsed(call("gLogin", R"({"username":"demo","password":"demo"})"));
  EXPECT_EQ(jsonTextOrEmpty(answer, "error"), "invalid_grant");
  EXPECT_EQ(jsonTextOrEmpty(answer, "error_description"), "请求失败,确定是否连接网络后，再重试");
  EXPECT_EQ(jsonTextOrEmpty(answer, "token"), "");
  EXPECT_FALSE(app_->bLogin());

  demo_->api().fail("/1/account/info", test::FakeFault::errorCode(40001, 400).times(1));
  answer = parsed(call("gLogin", R"({"username":"demo","password":"demo"})"));
  EXPECT_EQ(jsonTextOrEmpty(answer, "error"), "1");
  EXPECT_EQ(jsonTextOrEmpty(answer, "token"), "");
  EXPECT_FALSE(UserData::shareUserData().userToken().empty());  // the tokens stay
}

TEST_F(SignInFunctionsTest, OnlyTheKeySignInTakesTextThatIsNoObject) {
  EXPECT_EQ(jsonInt64(parsed(call("gLogin", "not json")), "error"), 10007);
  const JsonValue answer = parsed(call("gLoginByKey", "not json"));
  EXPECT_TRUE(answer.isObject());
  EXPECT_NE(jsonTextOrEmpty(answer, "error"), "");
  EXPECT_EQ(jsonTextOrEmpty(answer, "token"), "");
  EXPECT_FALSE(demo_->api().callsTo("/oauth2/token2").empty());
}

TEST_F(SignInFunctionsTest, WebAddressesEncodeThePathAndKeepTheQuery) {
  struct Case {
    const char* args;
    const char* weburl;
  };
  const Case cases[] = {
      {R"({"url":"x.test/v?a=1","webpath":"a&b #1%.txt","mount_id":7,"sso":0})",
       "https://x.test/v?a=1&fullpath=a%26b%20%231%25.txt&mountid=7"},
      {R"({"url":"x.test/v","webpath":"dir/é+","mount_id":3})",
       "https://x.test/v?fullpath=dir/%C3%A9%2B&mountid=3"},
      {R"({"url":"http://x.test/v","webpath":""})", "http://x.test/v"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(jsonTextOrEmpty(parsed(call("gGetUrl", c.args)), "weburl"), c.weburl) << c.args;
  }
  EXPECT_EQ(jsonInt64(parsed(call("gGetUrl", "[1]")), "error"), 10007);
}

TEST_F(SignInFunctionsTest, SignaturesTakeTextsAndNumbersOnly) {
  EXPECT_EQ(jsonTextOrEmpty(parsed(call("gGetApiAuthorization", R"({"a":1})")), "sign"),
            HTTPEngine::getAuth({{"a", "1"}}));
  EXPECT_EQ(jsonTextOrEmpty(parsed(call("gGetApiAuthorization", R"({"a":[1],"b":"x"})")), "sign"),
            HTTPEngine::getAuth({{"a", ""}, {"b", "x"}}));
  EXPECT_EQ(call("gGetApiAuthorization", "nope"), "{}");
}

TEST_F(SignInFunctionsTest, SignedOutReadersAnswerEmpty) {
  EXPECT_EQ(call("gGetEnt", R"({"ent_id":1})"), "{}");
  EXPECT_EQ(call("gGetEnts", "{}"), "{}");
  EXPECT_EQ(call("gUserInfo", "{}"), "{}");
  EXPECT_EQ(call("gGetNetworkStatus", "{}"), "1");
  app_->setBNeedLoading(false);
  EXPECT_EQ(call("gGetNeedloading", "{}"), "0");
  EXPECT_EQ(jsonTextOrEmpty(parsed(call("gApiHost", "{}")), "host"),
            "https://" + demo_->api().host());
}

}  // namespace
}  // namespace nb::bridge
