// What a page's title and load change in its window, and the opener of
// browser windows.

#include <gtest/gtest.h>

#include "api/server/ServerInfo.h"
#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/windows/WindowRegistry.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LoginWebWindowController.h"
#include "support/FakeAppState.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"

namespace nb::bridge {
namespace {

using test::FakeUiWindow;
using Request = NBWebViewDelegate::BrowserWindowRequest;

class BrowserWindowOpenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::pumpMainThread();
    setWindowRelay(registry_);
    setWindowRegistry(registry_);
    opener_ = BrowserWebWindowController::create(*ui_, "sole", "opener");
    bridge_ = NBWebViewDelegate::install(opener_, TrustedOrigins({"/opt/nb/UI"}, {}));
  }
  void TearDown() override {
    test::pumpMainThread();
    setWindowRegistry(nullptr);
    setWindowRelay(nullptr);
  }
  std::shared_ptr<BrowserWebWindowController> open(Request request) {
    return bridge_->BrowserWebWindowController(*ui_, request);
  }
  static FakeUiWindow& fake(const std::shared_ptr<BrowserWebWindowController>& c) {
    return static_cast<FakeUiWindow&>(*c->window());
  }

  test::ScopedAppState app_;
  test::ScopedFakeUi ui_;
  std::shared_ptr<WindowRegistry> registry_ = std::make_shared<WindowRegistry>();
  std::shared_ptr<BrowserWebWindowController> opener_;
  std::shared_ptr<NBWebViewDelegate> bridge_;
};

TEST_F(BrowserWindowOpenerTest, BrowserTitleOnTitleAndOnLoad) {
  struct Case {
    const char* own;        // strTitle given by the opener
    const char* pageTitle;  // the page's title
    const char* onTitle;    // window title after the title arrived
    const char* onLoad;     // window title after the load finished
  };
  const Case cases[] = {
      {"", "Files", "Files", "Files"},
      {"Settings", "Files", "Settings", "Files"},
      {"", "download", "", "download"},
      {"Mine", "NubrenVesko", "Mine", "NubrenVesko"},
  };
  int n = 0;
  for (const Case& c : cases) {
    auto window = open({.url = "file:///opt/nb/UI/index.html", .solestr = "sole",
                        .name = c.own, .key = std::to_string(n++)});
    // The registry gave the new window its bridge.
    EXPECT_EQ(fake(window).userScripts().size(), 1u);
    fake(window).receiveTitle(c.pageTitle);
    EXPECT_EQ(fake(window).title(), c.onTitle) << c.pageTitle;
    fake(window).finishLoad();
    EXPECT_EQ(fake(window).title(), c.onLoad) << c.pageTitle;
  }
}

TEST_F(BrowserWindowOpenerTest, NothingChangesOnceClosingStarted) {
  auto window = BrowserWebWindowController::create(*ui_, "sole", "x");
  auto bridge = NBWebViewDelegate::install(window, TrustedOrigins({"/opt/nb/UI"}, {}));
  fake(window).receiveTitle("First");
  ASSERT_EQ(fake(window).title(), "First");
  bridge->setBWindowsCloes(true);
  fake(window).receiveTitle("Second");
  fake(window).finishLoad();
  EXPECT_EQ(fake(window).title(), "First");
}

TEST_F(BrowserWindowOpenerTest, SignInResultWaitsForThePageTitle) {
  auto login = LoginWebWindowController::create(*ui_, "/opt/nb/UI", [](int) {});
  auto bridge = NBWebViewDelegate::install(login, TrustedOrigins({"/opt/nb/UI"}, {}));
  FakeUiWindow& window = ui_->lastWindow();
  login->setInfoArray({"login", "102", "say \"no\""});
  window.receiveTitle("Sign in");
  const auto events = window.events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].name, "LoginResult");
  EXPECT_EQ(events[0].detail,
            R"({"type":"login","error":"102","error_description":"say \"no\"","token":""})");
  window.receiveTitle("again");
  EXPECT_EQ(window.events().size(), 1u);  // delivered once
}

TEST_F(BrowserWindowOpenerTest, ReuseKeepsPageAndSize) {
  auto first = open({.url = "file:///opt/nb/UI/a.html", .resizable = true, .solestr = "sole",
                     .width = 640, .height = 480, .name = "A", .info = "i", .key = "k"});
  EXPECT_EQ(first->strInfo(), "i");
  EXPECT_EQ(fake(first).frame().width, 640);
  EXPECT_EQ(fake(first).loads().size(), 1u);
  EXPECT_EQ(fake(first).title(), "A");
  EXPECT_GT(fake(first).presents(), 0);
  auto again = open({.url = "file:///opt/nb/UI/b.html", .solestr = "sole", .width = 300,
                     .height = 200, .name = "B", .key = "k"});
  EXPECT_EQ(again, first);
  EXPECT_EQ(fake(first).frame().width, 640);
  EXPECT_EQ(fake(first).loads().size(), 1u);
  EXPECT_EQ(fake(first).title(), "B");
  auto sized = open({.url = "file:///opt/nb/UI/c.html", .solestr = "sole", .width = 0,
                     .height = 300, .key = "other"});
  EXPECT_EQ(fake(sized).frame().width, 800);
  EXPECT_EQ(fake(sized).frame().height, 500);
}

TEST_F(BrowserWindowOpenerTest, ChildTurnsModalAfterTheCallReturned) {
  auto child = open({.url = "file:///opt/nb/UI/a.html", .solestr = "child", .key = "c"});
  EXPECT_TRUE(child->bStopModel());
  EXPECT_FALSE(fake(child).modal());
  EXPECT_EQ(fake(child).presents(), 0);
  test::pumpMainThread();
  EXPECT_TRUE(fake(child).modal());
  child->window()->close();
  EXPECT_FALSE(fake(child).modal());
}

TEST_F(BrowserWindowOpenerTest, ScriptDialogsAnswerThePage) {
  struct Case {
    ui::ScriptDialogKind kind;
    int button;  // the user's choice; -1: no dialog shows
    bool answer;
    std::vector<std::string> buttons;
  };
  const Case cases[] = {
      {ui::ScriptDialogKind::Alert, 0, true, {"我知道了"}},
      {ui::ScriptDialogKind::Confirm, 0, true, {"确定", "取消"}},
      {ui::ScriptDialogKind::Confirm, 1, false, {"确定", "取消"}},
      {ui::ScriptDialogKind::BeforeUnload, 1, false, {"确定", "取消"}},
      {ui::ScriptDialogKind::Prompt, -1, false, {}},
  };
  FakeUiWindow& window = fake(opener_);
  for (const Case& c : cases) {
    const std::size_t before = ui_->dialogs().shown().size();
    if (c.button >= 0) ui_->dialogs().answerNext(c.button);
    EXPECT_EQ(window.runScriptDialog(c.kind, "Sure?"), c.answer);
    const auto shown = ui_->dialogs().shown();
    if (c.button < 0) {
      EXPECT_EQ(shown.size(), before);
      continue;
    }
    ASSERT_EQ(shown.size(), before + 1);
    EXPECT_EQ(shown.back().alert.informative, "Sure?");
    EXPECT_EQ(shown.back().alert.buttons, c.buttons);
    EXPECT_EQ(shown.back().alert.message, c.kind == ui::ScriptDialogKind::Alert ? "温馨提示" : "");
  }
}

}  // namespace
}  // namespace nb::bridge
