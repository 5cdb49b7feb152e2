// The way out through the proxies of the system settings. GIO chooses its
// proxy resolver once per process, so these tests name the desktop before
// anything else asks for it; each test runs in its own process under ctest.

#include <gio/gio.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "api/calls/NBHTTPRequest.h"
#include "platform/GObjectPtr.h"
#include "support/FakeService.h"
#include "support/LoopbackProxy.h"

namespace nb {
namespace {

using test::FakeCall;
using test::FakeReply;

class NBHTTPRequestProxyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // In-memory settings, read by glib-networking's GNOME resolver.
    setenv("GSETTINGS_BACKEND", "memory", 1);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
  }

  void SetUp() override {
    ASSERT_STREQ(G_OBJECT_TYPE_NAME(g_proxy_resolver_get_default()), "GProxyResolverGnome")
        << "the proxy resolver was chosen before this test named the desktop; run it alone";
    service_.on("GET", "/echo", [](const FakeCall&) { return FakeReply::json({{"ok", 1}}); },
                test::kOpenEndpoint);
    proxySettings_.reset(g_settings_new("org.gnome.system.proxy"));
    http_.reset(g_settings_get_child(proxySettings_.get(), "http"));
    // Loopback is left out of the proxy by default; these tests want it in.
    g_settings_set_strv(proxySettings_.get(), "ignore-hosts", nullptr);
    g_settings_set_string(http_.get(), "host", "127.0.0.1");
    g_settings_set_int(http_.get(), "port", proxy_.port());
  }

  void TearDown() override {
    g_settings_set_string(proxySettings_.get(), "mode", "none");
    unsetenv("http_proxy");
  }

  NBHTTPResponse get() const {
    return NBHTTPRequest(service_.baseUrl() + "/echo?token=t", "GET").connectNetSyncWithResponse(10, {});
  }

  test::FakeService service_;
  test::LoopbackProxy proxy_;
  platform::GObjectPtr<GSettings> proxySettings_;
  platform::GObjectPtr<GSettings> http_;
};

TEST_F(NBHTTPRequestProxyTest, RequestGoesThroughTheProxyOfTheSettings) {
  g_settings_set_string(proxySettings_.get(), "mode", "manual");
  const NBHTTPResponse response = get();
  EXPECT_EQ(response.statusCode, 200);
  ASSERT_EQ(proxy_.requestLines().size(), 1u);
  EXPECT_EQ(proxy_.requestLines()[0], "GET " + service_.baseUrl() + "/echo?token=t HTTP/1.1");
  ASSERT_EQ(service_.callsTo("/echo").size(), 1u);
}

TEST_F(NBHTTPRequestProxyTest, WithoutAProxyInTheSettingsTheEnvironmentIsIgnored) {
  setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy_.port())).c_str(), 1);
  g_settings_set_string(proxySettings_.get(), "mode", "none");
  EXPECT_EQ(get().statusCode, 200);
  EXPECT_TRUE(proxy_.requestLines().empty());
  EXPECT_EQ(service_.callsTo("/echo").size(), 1u);
}

// Answers are kept for a second; a change of the settings is followed once
// that second is over.
TEST_F(NBHTTPRequestProxyTest, AChangeOfTheSettingsIsFollowedWithinASecond) {
  g_settings_set_string(proxySettings_.get(), "mode", "manual");
  EXPECT_EQ(get().statusCode, 200);
  ASSERT_EQ(proxy_.requestLines().size(), 1u);
  g_settings_set_string(proxySettings_.get(), "mode", "none");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(get().statusCode, 200);
  EXPECT_EQ(proxy_.requestLines().size(), 1u);
  EXPECT_EQ(service_.callsTo("/echo").size(), 2u);
}

}  // namespace
}  // namespace nb
