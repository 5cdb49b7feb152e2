// Which windows a page event reaches, browser-window reuse and closing.

#include <gtest/gtest.h>

#include "bridge/windows/WindowRegistry.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "shell/windows/LoginWebWindowController.h"
#include "support/FakeAppState.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"

namespace nb::bridge {
namespace {

using test::FakeUiWindow;

class WindowRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::pumpMainThread();
    setWindowRelay(registry_);
  }
  void TearDown() override { setWindowRelay(nullptr); }

  // Main ("M"), sign-in ("L"), browsers "A" (library 7, title "files"), "B"
  // (library 0), "C" (library 9, title "files").
  void openAll(bool withMain = true) {
    if (withMain) {
      main_ = LaunchpadWindowController::create(*ui_, "/opt/nb/UI");
      registry_->setMainWindow(main_);
      names_[&ui_->lastWindow()] = "M";
    }
    login_ = LoginWebWindowController::create(*ui_, "/opt/nb/UI", [](int) {});
    registry_->setLoginWindow(login_);
    names_[&ui_->lastWindow()] = "L";
    const struct {
      const char* name;
      std::int64_t mount;
      const char* title;
    } browsers[] = {{"A", 7, "files"}, {"B", 0, "other"}, {"C", 9, "files"}};
    for (const auto& b : browsers) {
      auto browser = registry_->getBrowserWebWindowController(*ui_, "sole", b.name);
      browser->setNCurrentMountID(b.mount);
      browser->setStrTitle(b.title);
      names_[&ui_->lastWindow()] = b.name;
    }
  }
  // The windows that got an event named `event`, in window order.
  std::string reached(const std::string& event) {
    std::string out;
    for (const auto& window : ui_->windows()) {
      for (const auto& e : window->events()) {
        if (e.name == event) out += names_[window.get()];
      }
      window->clearEvents();
    }
    return out;
  }

  test::ScopedAppState app_;
  test::ScopedFakeUi ui_;
  std::shared_ptr<WindowRegistry> registry_ = std::make_shared<WindowRegistry>();
  std::shared_ptr<LaunchpadWindowController> main_;
  std::shared_ptr<LoginWebWindowController> login_;
  std::map<FakeUiWindow*, std::string> names_;
};

TEST_F(WindowRegistryTest, BroadcastAndNamedDeliveryTargets) {
  openAll();
  const PageEvent link = *PageEvent::fromJsonText("LinkStatus", R"({"link":1})");
  const PageEvent update = *PageEvent::fromJsonText("gCheckUpdate", R"({"status":"finish"})");
  registry_->setAllCustomEvent(link);
  EXPECT_EQ(reached("LinkStatus"), "MAC");
  registry_->setAllCustomEvent(update);
  EXPECT_EQ(reached("gCheckUpdate"), "MLAC");
  struct Case {
    const char* title;
    const char* targets;
  };
  for (const Case& c : {Case{"", "MLABC"}, Case{"launchpad", "M"}, Case{"login", "L"},
                        Case{"files", "AC"}, Case{"nobody", ""}}) {
    registry_->PostMessage("hello", c.title);
    EXPECT_EQ(reached("PostMessage"), c.targets) << c.title;
  }
}

TEST_F(WindowRegistryTest, PostMessageTextArrivesAsOneString) {
  openAll();
  registry_->PostMessage("1);alert(1);(", "launchpad");
  const auto events = ui_->windows()[0]->events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].detail, R"("1);alert(1);(")");
}

TEST_F(WindowRegistryTest, RelaysNeedAMainWindow) {
  openAll(false);
  registry_->closeWindowsForLaunchpad(5);
  EXPECT_EQ(reached("gCloseWindow"), "");
  registry_->gCloseCurrentPath(R"({"mount_id":7})");
  EXPECT_EQ(reached("gCloseCurrentPath"), "");
}

TEST_F(WindowRegistryTest, ReusesABrowserWindowByKindAndKey) {
  auto a = registry_->getBrowserWebWindowController(*ui_, "sole", "k");
  EXPECT_EQ(registry_->getBrowserWebWindowController(*ui_, "sole", "k"), a);
  EXPECT_NE(registry_->getBrowserWebWindowController(*ui_, "child", "k"), a);
  EXPECT_NE(registry_->getBrowserWebWindowController(*ui_, "sole", "k2"), a);
  EXPECT_EQ(registry_->browserWindows().size(), 3u);
  // Each new window got its page bridge.
  EXPECT_EQ(ui_->lastWindow().userScripts().size(), 1u);
  // Closed, it leaves the list and the next ask makes a new one.
  a->window()->close();
  EXPECT_EQ(registry_->browserWindows().size(), 2u);
  EXPECT_NE(registry_->getBrowserWebWindowController(*ui_, "sole", "k"), a);
}

TEST_F(WindowRegistryTest, CheckCurrentPutsTheMainWindowFirst) {
  openAll();
  auto extra = registry_->getBrowserWebWindowController(*ui_, "sole", "D");
  registry_->setCurrent(7, "/docs", extra->hwnd());
  registry_->setCurrent(7, "/docs", main_->hwnd());
  const auto all = registry_->checkCurrent(7);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0], main_);
  EXPECT_EQ(all[1], registry_->browserWindows()[0]);
  EXPECT_EQ(all[2], extra);
  const auto folder = registry_->checkCurrent(7, "/docs");
  ASSERT_EQ(folder.size(), 2u);
  EXPECT_EQ(folder[0], main_);
  EXPECT_EQ(folder[1], extra);
}

TEST_F(WindowRegistryTest, NothingChangesWhileQuitting) {
  auto a = registry_->getBrowserWebWindowController(*ui_, "sole", "k");
  registry_->setBOut(true);
  a->window()->close();
  EXPECT_EQ(registry_->browserWindows().size(), 1u);
}

}  // namespace
}  // namespace nb::bridge
