// Which windows a page event reaches, browser-window reuse and closing.

#include <gtest/gtest.h>

#include <set>

#include "bridge/windows/PageEventRoutes.h"
#include "bridge/windows/WindowRegistry.h"
#include "shell/windows/PageEventText.h"
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
    auto update = BrowserWebWindowController::create(*ui_, "update", "");
    registry_->setUpdateWindow(update);
    names_[&ui_->lastWindow()] = "U";
  }
  // The windows that got an event named `event`, in window order.
  std::string reached(const std::string& event) {
    test::pumpMainThread();
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

TEST_F(WindowRegistryTest, EveryPageEventReachesItsWindows) {
  openAll();
  registry_->setCurrent(7, "/docs", ui_->windows()[0]->hwnd());  // the main window
  const std::int64_t a = registry_->browserWindows()[0]->hwnd();
  registry_->setCurrent(7, "/docs", a);
  registry_->browserWindows()[2]->setStrCurrentWebPath("/other");
  struct Case {
    const char* event;
    const char* detail;
    EventScope scope;
    const char* targets;
  };
  const std::vector<Case> cases = {
      {"LoginResult", R"({"type":"login","error":"102","error_description":"x","token":""})", {},
       "L"},
      {"QuitNotice", R"({"message":"m","quit":1})", {.hwnd = a}, "A"},
      {"PostMessage", "hi", {.title = "files"}, "AC"},
      {"gReceiveMessage", "hi", {}, "M"},
      {"gCloseCurrentPath", R"({"mount_id":7})", {}, "M"},
      {"OpenMountPath", R"({"mount_id":7,"webpath":"/docs"})", {}, "M"},
      {"gCloseWindow", R"({"hwnd":3})", {}, "MAC"},
      {"UpdateFileList", "{}", {.mountId = 7, .webpath = "/docs"}, "MA"},
      {"UpdateFileList", "{}", {.mountId = 9}, "C"},
      {"UpdateFileList", "{}", {}, "MAC"},
      {"UpdateFileInfo", R"({"mount_id":7})", {.mountId = 7, .webpath = "/docs"}, "MA"},
      {"gLastUpdateDateline", R"({"mount_id":7,"dateline":1,"count":2})", {}, "M"},
      {"LinkStatus", R"({"link":0})", {}, "MAC"},
      {"TransferState", R"({"state":1})", {}, "M"},
      {"OpenFileFinish", R"({"mount_id":7,"webpath":"/n","fullpath":"/f","url":"file:///f"})",
       {.hwnd = a}, "A"},
      {"gCompareNotifyReset", R"({"add":[1],"delete":[]})", {}, "M"},
      {"AddOrgObject", R"({"mount_id":8})", {}, "MAC"},
      {"EditOrgObject", R"({"mount_id":8})", {}, "MAC"},
      {"RemoveOrgObject", R"({"mount_id":8})", {}, "MAC"},
      {"AddEntObject", R"({"ent_id":1})", {}, "MAC"},
      {"EditEntObject", R"({"ent_id":1})", {}, "MAC"},
      {"RemoveEntObject", R"({"ent_id":1})", {}, "MAC"},
      {"AddMagicObject", R"({"id":1})", {}, "MAC"},
      {"RemoveMagicObject", R"({"id":1})", {}, "MAC"},
      {"gUpdateShortcuts", R"([{"id":1}])", {.hwnd = a}, "A"},
      {"gHaveShortcuts", "{}", {}, "M"},
      {"ShowAction", R"({"kind":"x"})", {}, "M"},
      {"ShowLockScreenDialog", "{}", {}, "M"},
      {"LoadFinish", "{}", {}, "M"},
      {"gCheckUpdate", R"({"status":"update"})", {}, "MLAC"},
      {"gExeUpdateInfo", R"({"version":"2"})", {}, "U"},
      {"gExeUpdateProgress", R"({"progress":40})", {}, "U"},
      {"gExeUpdateFinish", "{}", {}, "U"},
  };
  std::set<std::string> covered;
  for (const Case& c : cases) {
    const auto event = pageEventFromText(c.event, c.detail);
    ASSERT_TRUE(event) << c.event;
    registry_->deliver(*event, c.scope);
    EXPECT_EQ(reached(c.event), c.targets) << c.event;
    covered.insert(c.event);
  }
  EXPECT_EQ(covered.size(), pageEventRoutes().size());
  EXPECT_EQ(covered.size(), 31u);
}

TEST_F(WindowRegistryTest, EventsForAMissingMainWindowAreDropped) {
  openAll(false);
  const struct {
    const char* name;
    const char* targets;
  } cases[] = {{"ShowAction", ""}, {"LoadFinish", ""}, {"gCheckUpdate", "LAC"}, {"NoSuchEvent", ""}};
  for (const auto& c : cases) {
    registry_->deliver(*PageEvent::fromJsonText(c.name, "{}"));
    EXPECT_EQ(reached(c.name), c.targets) << c.name;
  }
}

TEST_F(WindowRegistryTest, QuitQuestion) {
  struct Case {
    QuitState state;
    bool withMain;
    bool withLogin;
    const char* asked;  // "" for none
    const char* detail;
    bool quitNow;
  };
  const Case cases[] = {
      {{.bLogin = true}, false, true, "", "", true},
      {{.bLogin = false}, true, false, "", "", true},
      {{.bLogin = true, .bNBNoteNeedSave = true, .nAllTransCount = 3}, true, true, "M",
       R"({"message":"有NubrenNote文件未保存，是否确定退出?","quit":0})", false},
      {{.bLogin = true, .nAllTransCount = 3}, true, true, "M",
       R"({"message":"还有3个文件正在处理，是否退出?","quit":1})", false},
      {{.bLogin = true}, true, true, "M", R"({"message":"是否确定退出?","quit":1})", false},
      {{.bLogin = false}, true, true, "L", R"({"message":"是否确定退出?","quit":1})", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.detail);
    auto registry = std::make_shared<WindowRegistry>();
    std::shared_ptr<LaunchpadWindowController> main;
    std::shared_ptr<LoginWebWindowController> login;
    if (c.withMain) {
      main = LaunchpadWindowController::create(*ui_, "/opt/nb/UI");
      registry->setMainWindow(main);
      names_[&ui_->lastWindow()] = "M";
    }
    if (c.withLogin) {
      login = LoginWebWindowController::create(*ui_, "/opt/nb/UI", [](int) {});
      registry->setLoginWindow(login);
      names_[&ui_->lastWindow()] = "L";
    }
    bool quit = false;
    registry->onMenuQuitAppClicked(c.state, [&] { quit = true; });
    EXPECT_EQ(quit, c.quitNow);
    EXPECT_EQ(registry->bOut(), c.quitNow);
    std::string asked;
    std::string detail;
    for (const auto& window : ui_->windows()) {
      for (const auto& e : window->events()) {
        if (e.name != "QuitNotice") continue;
        asked += names_[window.get()];
        detail = e.detail;
      }
      window->clearEvents();
    }
    EXPECT_EQ(asked, c.asked);
    if (!c.quitNow) {
      EXPECT_EQ(detail, c.detail);
    }
    if (main && c.state.bLogin && !c.quitNow) {
      EXPECT_GT(static_cast<FakeUiWindow&>(*main->window()).presents(), 0);
    }
  }
}

TEST_F(WindowRegistryTest, StartRegistersTheSeamsTheApplicationStateUses) {
  auto registry = WindowRegistry::start();
  auto main = LaunchpadWindowController::create(*ui_, "/opt/nb/UI");
  names_[&ui_->lastWindow()] = "M";
  registry->setMainWindow(main);
  registry->setCurrent(4, "/a", main->hwnd());
  EXPECT_EQ(currentWindowDirectory("test").get(), registry.get());
  EXPECT_EQ(currentWindowRegistry("test"), registry);
  const auto found = currentWindowDirectory("test")->windowsShowing(4, "/a");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].get(), static_cast<BaseWebWindowController*>(main.get()));
  currentWindowDirectory("test")->sendToMain(*PageEvent::fromJsonText("LoadFinish", "{}"), false);
  EXPECT_TRUE(static_cast<FakeUiWindow&>(*main->window()).events().empty());  // posted
  EXPECT_EQ(reached("LoadFinish"), "M");
  setWindowDirectory(nullptr);
  setWindowRegistry(nullptr);
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
