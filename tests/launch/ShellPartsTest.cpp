// The windows start-up and the status menu make: the hidden update window
// and the settings window, on the recording user interface.

#include <gtest/gtest.h>

#include "api/server/ServerInfo.h"
#include "bridge/windows/WindowRegistry.h"
#include "launch/ShellParts.h"
#include "shell/app/AppDelegate.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "support/FakeAppState.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"

namespace nb::launch {
namespace {

using test::FakeUiWindow;

class ShellPartsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::pumpMainThread();
    auto server = std::make_shared<ServerInfo>();
    server->setStrUIPath("/opt/nb/UI");
    app_->setServerInfo(server);
    bridge::setWindowRegistry(registry_);
  }
  void TearDown() override {
    test::pumpMainThread();
    bridge::setWindowRegistry(nullptr);
  }
  static FakeUiWindow& fake(const std::shared_ptr<BrowserWebWindowController>& c) {
    return static_cast<FakeUiWindow&>(*c->window());
  }

  test::ScopedAppState app_;
  test::ScopedFakeUi ui_;
  std::shared_ptr<bridge::WindowRegistry> registry_ = std::make_shared<bridge::WindowRegistry>();
};

TEST_F(ShellPartsTest, TheUpdateWindowLoadsHiddenAboveTheOthersAndOnlyHides) {
  ShellParts parts(std::make_shared<AppDelegate>());
  parts.initUpdateDlg();
  const auto update = registry_->updateWindow();
  ASSERT_NE(update, nullptr);
  // Broadcasts to the browser windows never reach it.
  EXPECT_TRUE(registry_->browserWindows().empty());
  ASSERT_EQ(fake(update).loads().size(), 1u);
  EXPECT_EQ(fake(update).loads()[0].url, "file:///opt/nb/UI/index.html#/updatetip");
  EXPECT_FALSE(fake(update).isVisible());
  EXPECT_TRUE(fake(update).keepAbove());
  EXPECT_EQ(fake(update).frame().width, 540);
  EXPECT_EQ(fake(update).frame().height, 336);
  // Its page has the bridge (gShowUpdateDlg and the update events).
  EXPECT_EQ(fake(update).userScripts().size(), 1u);
  EXPECT_FALSE(fake(update).userClose());
}

TEST_F(ShellPartsTest, TheSettingsWindowOpensOnceAndComesForwardAgain) {
  openSettingsWindow();
  openSettingsWindow();
  const auto browsers = registry_->browserWindows();
  ASSERT_EQ(browsers.size(), 1u);
  const auto& settings = browsers[0];
  EXPECT_EQ(settings->solestr(), "sole");
  ASSERT_EQ(fake(settings).loads().size(), 1u);
  EXPECT_EQ(fake(settings).loads()[0].url, "file:///opt/nb/UI/index.html#/setting/account");
  EXPECT_EQ(fake(settings).presents(), 2);
  EXPECT_EQ(fake(settings).frame().width, 794);
  EXPECT_EQ(fake(settings).frame().height, 490);
}

}  // namespace
}  // namespace nb::launch
