// Plain windows and About: the page coordinates, address resolution, the
// script dialogs, the About window's content, and under Xvfb the script
// object a page really gets.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "api/server/ServerInfo.h"
#include "shell/windows/AboutWindowController.h"
#include "shell/windows/WebViewDelegate.h"
#include "shell/windows/WindowController.h"
#include "support/FakeAppState.h"
#include "support/FakeUi.h"
#include "support/GtkUiFixture.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

TEST(PlainWindowGeometryTest, PageCoordinatesStartAtTheBottomLeft) {
  const ui::Rect frame{100, 200, 400, 300};
  // move: the lower-left corner goes to (x, y) on a screen 1000 high.
  EXPECT_EQ(movedFrame(frame, 50, 0, 1000), (ui::Rect{50, 700, 400, 300}));
  EXPECT_EQ(movedFrame(frame, 0, 700, 1000), (ui::Rect{0, 0, 400, 300}));
  // resize: the lower-left corner (100, 500 from the top) stays.
  EXPECT_EQ(resizedFrame(frame, 600, 100), (ui::Rect{100, 400, 600, 100}));
  EXPECT_EQ(resizedFrame(frame, 400, 500), (ui::Rect{100, 0, 400, 500}));
}

TEST(PlainWindowAddressTest, RelativeAddressesOpenInsideTheResourceFolder) {
  const std::string folder = "/opt/nb res";
  EXPECT_EQ(WindowController::resolve("page.html", folder), "file:///opt/nb%20res/page.html");
  EXPECT_EQ(WindowController::resolve("sub/page.html?a=1", folder),
            "file:///opt/nb%20res/sub/page.html?a=1");
  EXPECT_EQ(WindowController::resolve("https://host.example/x", folder), "https://host.example/x");
  EXPECT_EQ(WindowController::resolve("", folder), "");
}

class PlainWindowDialogTest : public ::testing::Test {
 protected:
  ScopedFakeUi ui;
};

TEST_F(PlainWindowDialogTest, ConfirmIsTrueOnlyForTheFirstButtonAndAlertsReturnAtOnce) {
  auto controller = WindowController::initWithURL(*ui, "page.html", "/opt/nb");
  ASSERT_TRUE(controller);
  WebViewDelegate& delegate = controller->delegate();
  ui->dialogs().answerNext(1);
  EXPECT_FALSE(delegate.runScriptDialog(ui::ScriptDialogKind::Confirm, "删除吗?"));
  ui->dialogs().answerNext(0);
  EXPECT_TRUE(delegate.runScriptDialog(ui::ScriptDialogKind::BeforeUnload, "离开吗?"));
  EXPECT_TRUE(delegate.runScriptDialog(ui::ScriptDialogKind::Alert, "完成"));
  const auto shown = ui->dialogs().shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].alert.message, "");
  EXPECT_EQ(shown[0].alert.informative, "删除吗?");
  EXPECT_EQ(shown[0].alert.buttons, (std::vector<std::string>{"确定", "取消"}));
  EXPECT_TRUE(shown[0].ranModal);
  EXPECT_EQ(shown[2].alert.message, "温馨提示");
  EXPECT_EQ(shown[2].alert.informative, "完成");
  EXPECT_EQ(shown[2].alert.buttons, std::vector<std::string>{"我知道了"});
  EXPECT_FALSE(shown[2].ranModal);
  controller->window()->close();
  pumpMainThread();
}

class AboutWindowTest : public TempHome {
 protected:
  ScopedAppState app;
  ScopedFakeUi ui;
};

TEST_F(AboutWindowTest, DefaultsWithoutServerSettings) {
  auto server = std::make_shared<ServerInfo>();
  app->setServerInfo(server);
  AboutWindowController::show(*ui, "1.2.3");
  ASSERT_EQ(ui->dialogs().abouts().size(), 1u);
  const ui::AboutBox& about = ui->dialogs().abouts()[0];
  EXPECT_EQ(about.name, "NubrenVesko");
  EXPECT_EQ(about.version, "版本号：1.2.3");
  EXPECT_EQ(about.linkTitle, AboutWindowController::kDefaultAboutUrl);
  EXPECT_EQ(AboutWindowController::aboutUrl(*server), AboutWindowController::kDefaultAboutUrl);
}

TEST_F(AboutWindowTest, TheDeploymentsNameAndAddressInTheChosenScheme) {
  auto server = std::make_shared<ServerInfo>();
  server->setStrAboutName("Acme Drive");
  server->setStrAboutUrl("about.acme.example");
  app->setServerInfo(server);
  const ui::AboutBox about = AboutWindowController::aboutBox(*server, "2.0");
  EXPECT_EQ(about.name, "Acme Drive");
  EXPECT_EQ(about.linkTitle, "about.acme.example");
  app->setUseHttps(true);
  EXPECT_EQ(AboutWindowController::aboutUrl(*server), "https://about.acme.example");
  app->setUseHttps(false);
  EXPECT_EQ(AboutWindowController::aboutUrl(*server), "http://about.acme.example");
}

// A real page in a real plain window: it reports what it sees by opening
// a window whose address carries the report.
class PlainWindowPageTest : public GtkUiTest {
 protected:
  void SetUp() override {
    GtkUiTest::SetUp();
    if (IsSkipped()) return;
    folder_ = makeTempDir("nbplain");
    server_ = std::make_shared<ServerInfo>();
    server_->setStrWebHost("web.acme.example");
    app->setServerInfo(server_);
    std::ofstream(folder_ / "index.html")
        << "<html><body><script>"
           "var site = nbClient.gSiteDomain();"
           "nbClient.window.open({url: 'report.html#' + encodeURIComponent(site) + '|' +"
           "  typeof nbClient.gQuit + '|' + Object.keys(nbClient).sort().join(',')});"
           "</script></body></html>";
    std::ofstream(folder_ / "report.html") << "<html><body>report</body></html>";
  }
  void TearDown() override {
    for (const auto& controller : WindowController::openWindows()) controller->window()->close();
    pumpMainThread();
    if (!folder_.empty()) fs::remove_all(folder_);
  }

  // The address of the report window the page opened.
  std::string report() {
    std::string url;
    pumpMainThreadUntil([&] {
      for (const auto& controller : WindowController::openWindows()) {
        if (controller->url().find("report.html") != std::string::npos) url = controller->url();
      }
      return !url.empty();
    }, std::chrono::seconds(60));
    return url;
  }

  ScopedAppState app;
  std::shared_ptr<ServerInfo> server_;
  fs::path folder_;
};

TEST_F(PlainWindowPageTest, ThePageGetsTheSiteDomainAndOpensRelativePages) {
  for (const bool https : {true, false}) {
    app->setUseHttps(https);
    auto first = WindowController::initWithURL(*sharedUi(), "index.html", folder_.string());
    ASSERT_TRUE(first);
    first->showWindow();
    const std::string url = report();
    const std::string scheme = https ? "https" : "http";
    EXPECT_EQ(url, WindowController::resolve("report.html", folder_.string()) + "#" + scheme +
                       "%3A%2F%2Fweb.acme.example|undefined|gSiteDomain,window")
        << url;
    EXPECT_EQ(first->delegate().windowController()->url(), url);
    for (const auto& controller : WindowController::openWindows()) controller->window()->close();
    pumpMainThread();
  }
}

}  // namespace
}  // namespace nb::test
