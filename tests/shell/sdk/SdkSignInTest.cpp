// Sign-in requests of another local program over a private session bus,
// against the fake service's enterprise grant and sign-in.

#include <gtest/gtest.h>

#include <gio/gio.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "foundation/json/Json.h"
#include "shell/sdk/SdkSignIn.h"
#include "support/FakeAuthEndpoints.h"
#include "support/FakeDriveFixture.h"
#include "support/PrivateBus.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

// A private bus with the client listening on one connection and the "other
// program" on another.
class SdkSignInTest : public FakeDriveFixture {
 protected:
  void SetUp() override {
    FakeDriveFixture::SetUp();
    pumpMainThread();  // this thread is the main thread
    ServerInfo::current()->setStrServerHost(api_.host());  // the grant goes to the server host
    bus_ = std::make_unique<PrivateBus>();
    clientBus_ = bus_->connect();
    programBus_ = bus_->connect();
    ASSERT_TRUE(clientBus_ && programBus_);
    replySubscription_ = g_dbus_connection_signal_subscribe(
        programBus_, nullptr, SdkSignIn::kInterface, SdkSignIn::kReplySignal, SdkSignIn::kObjectPath,
        nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &SdkSignInTest::onReply, this, nullptr);
    auth_.addGrantClient("partner", "s3cret");
    sdk_ = std::make_unique<SdkSignIn>(
        SdkSignIn::Host{.openMainWindow = [this] { ++mainWindowOpened_; },
                        .loginByAuto = [this] { ++autoLogins_; }},
        lock_);
    ASSERT_TRUE(sdk_->start(clientBus_));
    // A round trip on each connection: their match rules are in place after.
    ping(clientBus_);
    ping(programBus_);
    UserData::shareUserData().setStrMemberAccount("");
  }
  void TearDown() override {
    sdk_.reset();
    if (programBus_) {
      g_dbus_connection_signal_unsubscribe(programBus_, replySubscription_);
      g_dbus_connection_close_sync(programBus_, nullptr, nullptr);
      g_object_unref(programBus_);
    }
    if (clientBus_) {
      g_dbus_connection_close_sync(clientBus_, nullptr, nullptr);
      g_object_unref(clientBus_);
    }
    bus_.reset();
    UserData::shareUserData().setStrMemberAccount("");
    FakeDriveFixture::TearDown();
  }

  static void ping(GDBusConnection* connection) {
    GVariant* id = g_dbus_connection_call_sync(
        connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId",
        nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    ASSERT_NE(id, nullptr);
    g_variant_unref(id);
  }
  static void onReply(GDBusConnection*, const char*, const char*, const char*, const char*,
                      GVariant* parameters, gpointer self) {
    const char* text = nullptr;
    g_variant_get(parameters, "(&s)", &text);
    static_cast<SdkSignInTest*>(self)->replies_.push_back(dictionaryFromString(text).value());
  }
  // Sends the request as the other program and waits for `replies` replies.
  void request(const std::string& json, std::size_t replies = 1) {
    g_dbus_connection_emit_signal(programBus_, nullptr, SdkSignIn::kObjectPath,
                                  SdkSignIn::kInterface, SdkSignIn::kRequestSignal,
                                  g_variant_new("(s)", json.c_str()), nullptr);
    g_dbus_connection_flush_sync(programBus_, nullptr, nullptr);
    EXPECT_TRUE(pumpMainThreadUntil([&] { return replies_.size() >= replies; },
                                    std::chrono::seconds(20)));
  }
  static std::string signIn(const std::string& account, const std::string& secret) {
    return R"({"type":1,"buffer":{"account":")" + account + R"(","client_id":"partner","secret":")" +
           secret + R"("}})";
  }

  FakeAuthEndpoints auth_{api_};
  std::unique_ptr<PrivateBus> bus_;
  GDBusConnection* clientBus_ = nullptr;
  GDBusConnection* programBus_ = nullptr;
  unsigned replySubscription_ = 0;
  std::mutex lock_;
  std::unique_ptr<SdkSignIn> sdk_;
  std::vector<JsonValue> replies_;
  int mainWindowOpened_ = 0;
  int autoLogins_ = 0;
};

TEST_F(SdkSignInTest, SameAccountOpensTheMainWindowWithoutAWebCall) {
  UserData::shareUserData().setStrMemberAccount("tester");
  request(signIn("tester", "anything"));
  ASSERT_EQ(replies_.size(), 1u);
  EXPECT_EQ(JSONString(replies_[0]).value(), R"({"type":1,"error":0,"message":""})");
  EXPECT_EQ(mainWindowOpened_, 1);
  EXPECT_EQ(callCount("/account/autologin/entgrant"), 0u);
  EXPECT_EQ(app_->count("logoutByError"), 0u);
}

TEST_F(SdkSignInTest, OtherAccountEndsTheOldSessionOnceTheNewOneIsGranted) {
  UserData::shareUserData().setStrMemberAccount("someone-else");
  request(signIn("tester", "s3cret"));
  ASSERT_EQ(replies_.size(), 1u);
  EXPECT_EQ(jsonInt64(replies_[0], "error"), 0);
  EXPECT_EQ(app_->count("logoutByError"), 1u);
  EXPECT_EQ(autoLogins_, 1);
  EXPECT_EQ(UserData::shareUserData().strMemberAccount(), "tester");
  EXPECT_EQ(auth_.grantedKeys().size(), 1u);
}

TEST_F(SdkSignInTest, RefusedGrantKeepsTheRunningSession) {
  UserData& session = UserData::shareUserData();
  session.setStrMemberAccount("someone-else");
  const std::string token = session.userToken();
  request(signIn("tester", "wrong"));
  ASSERT_EQ(replies_.size(), 1u);
  EXPECT_EQ(jsonInt64(replies_[0], "error"), SdkSignIn::kErrorSignIn);
  EXPECT_EQ(jsonTextOrEmpty(replies_[0], "message"), "bad ticket signature");
  EXPECT_EQ(app_->count("logoutByError"), 0u);
  EXPECT_EQ(autoLogins_, 0);
  EXPECT_EQ(session.strMemberAccount(), "someone-else");
  EXPECT_EQ(session.userToken(), token);
}

TEST_F(SdkSignInTest, OnlyTypeOneIsServedAndBufferMayBeText) {
  // Unanswered requests first: the later reply shows they were passed over.
  request(R"({"type":2,"buffer":{"account":"tester"}})", 0);
  request(R"({"type":"x"})", 0);
  request("not json", 0);
  UserData::shareUserData().setStrMemberAccount("tester");
  request(R"({"type":"1","buffer":"{\"account\":\"tester\"}"})");
  EXPECT_EQ(replies_.size(), 1u);
  EXPECT_EQ(mainWindowOpened_, 1);
}

TEST(SdkRequestTest, Parsing) {
  struct Case {
    const char* text;
    bool served;
    const char* account;
  };
  const Case cases[] = {
      {R"({"type":1,"buffer":{"account":"a","client_id":"c","secret":"s"}})", true, "a"},
      {R"({"type":1.0,"buffer":{"account":"a"}})", true, "a"},
      {R"({"type":"1","buffer":"{\"account\":\"b\"}"})", true, "b"},
      {R"({"type":1,"buffer":{"account":5}})", true, ""},
      {R"({"type":1})", true, ""},
      {R"({"type":2,"buffer":{"account":"a"}})", false, ""},
      {R"({"type":true})", false, ""},
      {R"({"buffer":{}})", false, ""},
      {"[1]", false, ""},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto request = SdkSignIn::parseRequest(c.text);
    ASSERT_EQ(request.has_value(), c.served);
    if (request) {
      EXPECT_EQ(request->account, c.account);
    }
  }
}

}  // namespace
}  // namespace nb::test
