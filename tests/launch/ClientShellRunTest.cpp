// The shell's parts around the windows in the running client: the stored
// hot key with a forwarded screenshot request, the lock state at session
// start, the SDK sign-in request on the session bus, and what pages reach
// through start-up's registrations (the update window, pushed shortcut
// changes).

#include <gtest/gtest.h>

#include <gio/gio.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "launch/ClientRun.h"
#include "shell/sdk/SdkSignIn.h"
#include "stores/settings/SettingsDb.h"

namespace nb::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kSessionStarted = "session started for member 1";
constexpr const char* kStarted = "applicationDidFinishLaunching";

class ClientShellRunTest : public ClientRun {
 protected:
  // The settings store of the next run, as the settings page leaves it.
  SettingsDb settings() {
    std::filesystem::create_directories(configFolder());
    return SettingsDb((configFolder() / "vesettings3.db").string());
  }
};

TEST_F(ClientShellRunTest, AForwardedScreenshotRequestUsesTheStoredHotKey) {
  settings().setHotKey("ctrl+shift+a");
  setAutorun("", "");
  pid_t client = startClient();
  ASSERT_TRUE(waitForLog(kStarted)) << logText();
  pid_t shortcut = startClient({"--screenshot"});
  EXPECT_EQ(waitExit(shortcut, 60s), 255);
  EXPECT_TRUE(waitForLog("another launch forwarded --screenshot")) << logText();
  // The test's bus has no screenshot portal: the capture was asked for and
  // found none.
  EXPECT_TRUE(waitForLog("screenshot portal")) << logText();
  EXPECT_EQ(countLog("applicationDidFinishLaunching"), 1u);
  EXPECT_EQ(stopClient(client), 0);
}

TEST_F(ClientShellRunTest, ASessionOfALockedUserStartsLocked) {
  const FakeTokenPair pair = demo().api().tokens().issue();
  storeSignIn(pair.accessToken, pair.refreshToken);
  {
    SettingsDb store = settings();
    store.setScreenPassword(FakeDemo::kMemberId, "0123456789abcdef0123456789abcdef");
    store.setLockStatus(FakeDemo::kMemberId, true);
  }
  setAutorun("", "");
  pid_t client = startClient();
  ASSERT_TRUE(waitForLog(kSessionStarted)) << logText();
  EXPECT_TRUE(waitForLog("the status menu shows the locked lock state")) << logText();
  EXPECT_EQ(countLog("the status menu shows the unlocked lock state"), 0u);
  EXPECT_EQ(stopClient(client), 0);
}

TEST_F(ClientShellRunTest, ASessionOfAnUnlockedUserStartsUnlocked) {
  const FakeTokenPair pair = demo().api().tokens().issue();
  storeSignIn(pair.accessToken, pair.refreshToken);
  setAutorun("", "");
  pid_t client = startClient();
  ASSERT_TRUE(waitForLog(kSessionStarted)) << logText();
  EXPECT_TRUE(waitForLog("the status menu shows the unlocked lock state")) << logText();
  EXPECT_EQ(stopClient(client), 0);
}

// The other program's end of the SDK contract on the test's bus.
class SdkProgram {
 public:
  explicit SdkProgram(const std::string& address) {
    bus_ = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (!bus_) return;
    subscription_ = g_dbus_connection_signal_subscribe(
        bus_, nullptr, SdkSignIn::kInterface, SdkSignIn::kReplySignal, SdkSignIn::kObjectPath,
        nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &SdkProgram::onReply, this, nullptr);
  }
  ~SdkProgram() {
    if (!bus_) return;
    g_dbus_connection_signal_unsubscribe(bus_, subscription_);
    g_dbus_connection_close_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
  }
  SdkProgram(const SdkProgram&) = delete;
  SdkProgram& operator=(const SdkProgram&) = delete;

  bool connected() const { return bus_ != nullptr; }

  void request(const std::string& json) {
    g_dbus_connection_emit_signal(bus_, nullptr, SdkSignIn::kObjectPath, SdkSignIn::kInterface,
                                  SdkSignIn::kRequestSignal, g_variant_new("(s)", json.c_str()),
                                  nullptr);
    g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
  }

  // The first reply; "" when none came in time. The replies arrive on this
  // thread's default context, pumped here.
  std::string waitReply(std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (replies_.empty() && std::chrono::steady_clock::now() < deadline) {
      while (g_main_context_iteration(nullptr, FALSE)) {
      }
      std::this_thread::sleep_for(50ms);
    }
    return replies_.empty() ? "" : replies_.front();
  }

 private:
  static void onReply(GDBusConnection*, const char*, const char*, const char*, const char*,
                      GVariant* parameters, gpointer self) {
    const char* text = nullptr;
    g_variant_get(parameters, "(&s)", &text);
    static_cast<SdkProgram*>(self)->replies_.emplace_back(text);
  }

  GDBusConnection* bus_ = nullptr;
  unsigned subscription_ = 0;
  std::vector<std::string> replies_;
};

TEST_F(ClientShellRunTest, AnSdkRequestSignsInAClientStartedHidden) {
  demo().auth().addGrantClient("partner", "s3cret");
  setAutorun("", "");
  pid_t client = startClient({"meadowcourt"});
  ASSERT_TRUE(waitForLog(kStarted)) << logText();
  SdkProgram program(busAddress());
  ASSERT_TRUE(program.connected());
  // The client's match rule may reach the bus after its start-up was
  // logged: a request it did not hear is sent again. A second one it heard
  // finds the account signed in and only opens the window.
  std::string reply;
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (reply.empty() && std::chrono::steady_clock::now() < deadline) {
    program.request(
        R"({"type":1,"buffer":{"account":"demo","client_id":"partner","secret":"s3cret"}})");
    reply = program.waitReply(5s);
  }
  EXPECT_EQ(reply, R"({"type":1,"error":0,"message":""})") << logText();
  EXPECT_TRUE(waitForLog(kSessionStarted)) << logText();
  EXPECT_EQ(stopClient(client), 0);
  // A request's sign-in is kept like any automatic one.
  EXPECT_EQ(storedUserId(), FakeDemo::kMemberId);
}

TEST_F(ClientShellRunTest, PagesReachTheUpdateWindowAndPushedShortcutChanges) {
  demo().drive().setShortcuts(R"({"list":[{"name":"Reports","mountid":1}]})");
  const FakeTokenPair pair = demo().api().tokens().issue();
  storeSignIn(pair.accessToken, pair.refreshToken);
  // The update window loads its page hidden at start-up; the main page asks
  // for it and relays a pushed shortcut change.
  setAutorun("",
             "page.onEvent('gUpdateShortcuts', function (e) {"
             "  nbClient.gGetNetworkStatus('shortcuts:' + e.detail.list[0].name); });"
             "nbClient.gShowUpdateDlg();"
             "nbClient.gSocketAction(JSON.stringify({act: 'api_member', type: 'sys_in',"
             "  metadata: {api: '/2/member/get_shortcuts'}}), 'message');",
             "nbClient.gGetNetworkStatus('update-page-loaded');");
  pid_t client = startClient();
  EXPECT_TRUE(waitForLog("gGetNetworkStatus,update-page-loaded")) << logText();
  EXPECT_TRUE(waitForLog("gGetNetworkStatus,shortcuts:Reports")) << logText();
  EXPECT_EQ(countLog("no update window is registered"), 0u) << logText();
  EXPECT_EQ(stopClient(client), 0);
}

}  // namespace
}  // namespace nb::test
