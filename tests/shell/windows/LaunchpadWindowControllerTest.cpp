// The main window: its page, size, place, hand-overs and closing.

#include <gtest/gtest.h>

#include "shell/windows/LaunchpadWindowController.h"
#include "support/FakeAppState.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

class LaunchpadWindowControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pumpMainThread();
    app_->setUserAgent("NB_SYNC;1.0;Mac;13");
  }
  std::shared_ptr<LaunchpadWindowController> make() {
    auto controller = LaunchpadWindowController::create(*ui_, "/opt/nb/UI dir");
    window_ = &ui_->lastWindow();
    return controller;
  }

  ScopedAppState app_;
  ScopedFakeUi ui_;
  FakeUiWindow* window_ = nullptr;
};

TEST_F(LaunchpadWindowControllerTest, LoadsItsPageWithTheBrowserAgent) {
  auto controller = make();
  ASSERT_EQ(window_->loads().size(), 1U);
  EXPECT_EQ(window_->loads()[0].url, "file:///opt/nb/UI%20dir/index.html");
  EXPECT_EQ(window_->loads()[0].acceptLanguage, "zh-cn");
  EXPECT_EQ(window_->options().kind, ui::WindowKind::Main);
  EXPECT_EQ(window_->options().userAgent,
            "NB_SYNC;1.0;Mac;13;Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 "
            "(KHTML, like Gecko) Chrome/35.0.1916.114 Safari/537.36");
}

TEST_F(LaunchpadWindowControllerTest, SizeIsTheLargerOfMinimumAndFourFifths) {
  struct Case {
    ui::Rect screen;
    ui::Size size;
  };
  const std::vector<Case> cases = {
      {{0, 0, 1280, 1024}, {1024, 1024 * 0.8}},
      {{0, 0, 1000, 700}, {1000, 600}},
      {{0, 0, 1920, 1080}, {1536, 864}},
  };
  for (const Case& c : cases) {
    ui_->setScreenArea(c.screen);
    auto controller = make();
    EXPECT_DOUBLE_EQ(window_->frame().width, c.size.width);
    EXPECT_DOUBLE_EQ(window_->frame().height, c.size.height);
  }
}

TEST_F(LaunchpadWindowControllerTest, HandOversWaitForTheLoadAndArriveOnce) {
  auto controller = make();
  controller->setcurrent(R"({"mount_id":3})");
  controller->setAction(R"({"type":"msg"})");
  EXPECT_TRUE(window_->events().empty()) << "the page is still loading";
  window_->finishLoad();
  EXPECT_EQ(window_->eventNames(), (std::vector<std::string>{"OpenMountPath", "ShowAction"}));
  EXPECT_EQ(window_->events()[0].detail, R"({"mount_id":3})");

  window_->clearEvents();
  window_->finishLoad();  // a reload delivers nothing again
  EXPECT_TRUE(window_->events().empty());
  controller->setAction("plain text");  // loaded: at once, as one string
  ASSERT_EQ(window_->events().size(), 1U);
  EXPECT_EQ(window_->events()[0].detail, R"("plain text")");
}

TEST_F(LaunchpadWindowControllerTest, LinkStatusOnlyOnFirstTabAndOnlyOffline) {
  app_->setLinkNetwork(false);
  auto controller = make();
  window_->finishLoad();
  controller->updateTab(std::nullopt);
  window_->finishLoad();
  ASSERT_EQ(app_->pageEvents().size(), 1U);
  EXPECT_EQ(app_->pageEvents()[0].name(), "LinkStatus");
  EXPECT_EQ(app_->pageEvents()[0].detail(), R"({"link":0})");

  app_->clear();
  app_->setLinkNetwork(true);
  auto online = make();
  ui_->lastWindow().finishLoad();
  EXPECT_TRUE(app_->pageEvents().empty());
}

TEST_F(LaunchpadWindowControllerTest, ClosingLeavesFullScreenAndHidesNeverCloses) {
  auto controller = make();
  controller->showWindow();
  window_->setFullScreen(true);
  EXPECT_FALSE(window_->userClose());
  EXPECT_FALSE(window_->isFullScreen());
  EXPECT_FALSE(window_->isVisible());
  EXPECT_FALSE(window_->isClosed());
  EXPECT_TRUE(controller->bWindowClose());
  controller->showWindow();
  EXPECT_FALSE(controller->bWindowClose());
  EXPECT_TRUE(window_->isVisible());
}

TEST_F(LaunchpadWindowControllerTest, PlacedByTheDisplayRule) {
  auto controller = make();
  window_->setFrame({0, 0, 1000, 600});
  controller->adjustposition();
  // Centred across, 100 below the top of the 1280 x 1024 screen.
  EXPECT_EQ(window_->frame(), (ui::Rect{140, 100, 1000, 600}));
}

}  // namespace
}  // namespace nb::test
