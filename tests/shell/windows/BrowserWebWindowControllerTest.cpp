// Browser windows: their one sizing, and what their closing tells.

#include <gtest/gtest.h>

#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/WindowRelay.h"
#include "support/FakeAppState.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

class RecordingRelay final : public WindowRelay {
 public:
  void gCloseCurrentPath(const std::string& json) override { calls.push_back("path " + json); }
  void closeWindowsForLaunchpad(std::int64_t hwnd) override {
    calls.push_back("closed " + std::to_string(hwnd));
  }
  void windowClosed(const std::shared_ptr<WebWindowController>& controller) override {
    calls.push_back("drop " + std::to_string(controller->hwnd()));
  }
  std::vector<std::string> calls;
};

class BrowserWebWindowControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pumpMainThread();
    setWindowRelay(relay_);
    controller_ = BrowserWebWindowController::create(*ui_, "sole", "");
    window_ = &ui_->lastWindow();
    window_->setFrame({50, 60, 300, 200});
  }
  void TearDown() override { setWindowRelay(nullptr); }

  ScopedAppState app_;
  ScopedFakeUi ui_;
  std::shared_ptr<RecordingRelay> relay_ = std::make_shared<RecordingRelay>();
  std::shared_ptr<BrowserWebWindowController> controller_;
  FakeUiWindow* window_ = nullptr;
};

TEST_F(BrowserWebWindowControllerTest, AdjustFrameOnceWithDefaultForAMissingSide) {
  struct Case {
    ui::Size asked;
    ui::Size got;
  };
  const std::vector<Case> cases = {
      {{0, 300}, {800, 500}},
      {{640, 0}, {800, 500}},
      {{640, 480}, {640, 480}},
  };
  for (const Case& c : cases) {
    auto controller = BrowserWebWindowController::create(*ui_, "child", "k");
    FakeUiWindow& window = ui_->lastWindow();
    controller->adjustframe(c.asked);
    EXPECT_EQ(window.frame(), (ui::Rect{(1280 - c.got.width) / 2, (1024 - c.got.height) / 2,
                                        c.got.width, c.got.height}));
    controller->adjustframe({1000, 900});  // the second call changes nothing
    EXPECT_EQ(window.frame().width, c.got.width);
  }
}

TEST_F(BrowserWebWindowControllerTest, AdjustFrameInFullScreenStillCounts) {
  window_->setFullScreen(true);
  controller_->adjustframe({640, 480});
  EXPECT_EQ(window_->frame(), (ui::Rect{50, 60, 300, 200}));
  EXPECT_TRUE(controller_->bAdjusted());
  window_->setFullScreen(false);
  controller_->adjustframe({640, 480});
  EXPECT_EQ(window_->frame().width, 300);
}

TEST_F(BrowserWebWindowControllerTest, ClosingTellsInOrder) {
  controller_->setClosingHook([&] { relay_->calls.push_back("bridge"); });
  controller_->setJsonString(R"({"mount_id":1,"webpath":"/a"})");
  controller_->setBStopModel(true);
  window_->runModal();
  const std::int64_t hwnd = window_->hwnd();
  EXPECT_TRUE(window_->userClose());
  EXPECT_EQ(relay_->calls, (std::vector<std::string>{R"(path {"mount_id":1,"webpath":"/a"})",
                                                     "bridge", "closed " + std::to_string(hwnd),
                                                     "drop " + std::to_string(hwnd)}));
  EXPECT_FALSE(window_->modal()) << "the modal run ended";
}

TEST_F(BrowserWebWindowControllerTest, WindowThatDoesNotCloseOnlyHides) {
  controller_->setBNotClose(true);
  window_->show();
  window_->setFullScreen(true);
  EXPECT_FALSE(window_->userClose());
  EXPECT_FALSE(window_->isFullScreen());
  EXPECT_TRUE(window_->isVisible()) << "leaving full screen is all the first close does";
  EXPECT_FALSE(window_->userClose());
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(relay_->calls.empty());
}

TEST(WindowRelayTest, MissingRelayIsLoggedNotFatal) {
  setWindowRelay(nullptr);
  EXPECT_EQ(currentWindowRelay("test"), nullptr);
}

}  // namespace
}  // namespace nb::test
