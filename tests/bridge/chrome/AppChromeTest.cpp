// The application chrome through the UI double: the status menus and
// their actions, the in-app lock with its page functions, and the hot-key
// grab.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "api/server/ServerInfo.h"
#include "bridge/chrome/AppChrome.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/HotKeyRegistrar.h"
#include "bridge/functions/LockScreenPageFunctions.h"
#include "bridge/windows/WindowRegistry.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "stores/settings/SettingsDb.h"
#include "support/FakeAppState.h"
#include "support/FakeUi.h"
#include "support/ManualClock.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::bridge {
namespace {

using test::FakeUiWindow;

constexpr std::int64_t kUser = 42;

class AppChromeTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    state_->setLanguage("zh-cn");
    test::pumpMainThread();
    registerLockScreenPageFunctions();
    store_ = std::make_unique<SettingsDb>((root() / "vesettings3.db").string());
    registry_ = WindowRegistry::start();
    main_ = LaunchpadWindowController::create(*ui_, "/opt/nb/UI");
    registry_->setMainWindow(main_);
    mainWindow().show();
    browser_ = registry_->getBrowserWebWindowController(*ui_, "sole", "b");
    browser_->window()->show();
    chrome_ = startChrome("machine-a");
    item_ = ui_->statusItem();
  }
  void TearDown() override {
    AppChrome::stop();
    chrome_.reset();
    setWindowDirectory(nullptr);
    setWindowRegistry(nullptr);
    TempHome::TearDown();
  }
  std::shared_ptr<AppChrome> startChrome(const std::string& computerid) {
    AppChrome::Options options;
    options.startHousekeeping = false;
    options.actions.showMain = [this] { ++mainShown_; };
    options.actions.showSignIn = [this] { ++signInShown_; };
    options.actions.logout = [this] { ++logouts_; };
    options.actions.quit = [this] { ++quits_; };
    options.screenLock.store = store_.get();
    options.screenLock.userID = [] { return kUser; };
    options.screenLock.computerid = computerid;
    options.statusItem.imageFolders = {root()};
    return AppChrome::start(app_, std::move(options));
  }
  FakeUiWindow& mainWindow() const { return static_cast<FakeUiWindow&>(*main_->window()); }
  std::string call(const std::string& name, const std::string& json = "") {
    const PageCall pageCall{name, {json}};
    test::pumpMainThread();
    auto answer = pageHandler(name)(pageCall, *main_);
    test::pumpMainThread();  // the menu and windows switch on the main thread
    return answer.value_or("(none)");
  }
  std::vector<std::string> normalMenu() const { return {"打开", "设置", "锁屏", "退出Nubren"}; }
  std::vector<std::string> lockedMenu() const { return {"解锁", "注销", "退出Nubren"}; }

  test::ScopedAppState state_;  // the menus' and answers' language
  test::ScopedFakeUi ui_;
  std::shared_ptr<AppDelegate> app_ =
      std::make_shared<AppDelegate>(AppDelegate::Options{.resourceFolders = {"/nonexistent"}});
  std::unique_ptr<SettingsDb> store_;
  std::shared_ptr<WindowRegistry> registry_;
  std::shared_ptr<LaunchpadWindowController> main_;
  std::shared_ptr<BrowserWebWindowController> browser_;
  std::shared_ptr<AppChrome> chrome_;
  std::shared_ptr<test::FakeStatusItem> item_;
  int mainShown_ = 0;
  int signInShown_ = 0;
  int logouts_ = 0;
  int quits_ = 0;
};

TEST_F(AppChromeTest, OpenShowsTheWindowTheStateCallsFor) {
  struct Case {
    bool autoLogin, loginFinish, logining;
    int main, signIn;
  };
  const Case cases[] = {
      {true, false, false, 0, 0},  // the automatic sign-in still works
      {true, true, false, 1, 0},
      {false, false, false, 0, 1},
      {false, false, true, 0, 0},  // a sign-in is under way
      {false, true, false, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.autoLogin << c.loginFinish << c.logining);
    mainShown_ = signInShown_ = 0;
    app_->setBAutoLogin(c.autoLogin);
    app_->setBLoginFinish(c.loginFinish);
    app_->setBLogining(c.logining);
    ASSERT_TRUE(item_->activate("打开"));
    EXPECT_EQ(mainShown_, c.main);
    EXPECT_EQ(signInShown_, c.signIn);
  }
}

TEST_F(AppChromeTest, TheLockItemAsksTheMainPageForThePassword) {
  app_->setBLoginFinish(true);
  ASSERT_TRUE(item_->activate("锁屏"));
  test::pumpMainThread();
  EXPECT_EQ(mainShown_, 1);
  EXPECT_EQ(mainWindow().eventNames(), (std::vector<std::string>{"ShowLockScreenDialog"}));
}

TEST_F(AppChromeTest, LockAndUnlockRoundTrip) {
  EXPECT_EQ(call("gIsSetLockScreen"), R"({"state":0})");
  EXPECT_EQ(call("gSetLockScreenPassword", R"({"enable":1,"password":"s3cret"})"),
            R"({"error":0,"message":""})");
  EXPECT_EQ(call("gIsSetLockScreen"), R"({"state":1})");
  EXPECT_EQ(call("gIsLockingScreen"), R"({"state":0})");  // setting does not lock
  EXPECT_EQ(store_->getScreenPassword(kUser), ScreenLock::digest("s3cret", "machine-a"));

  EXPECT_EQ(call("gSetLockScreen"), "(none)");
  EXPECT_EQ(call("gIsLockingScreen"), R"({"state":1})");
  EXPECT_TRUE(store_->getLockStatus(kUser));
  EXPECT_EQ(item_->menuTitles(), lockedMenu());
  EXPECT_FALSE(mainWindow().isVisible());
  EXPECT_FALSE(browser_->window()->isVisible());

  for (const char* wrong : {R"({"password":"S3cret"})", R"({"password":""})", "[1]", "oops"}) {
    SCOPED_TRACE(wrong);
    EXPECT_EQ(call("gLoginLockScreen", wrong), R"({"error":1,"message":"密码错误"})");
    EXPECT_EQ(call("gIsLockingScreen"), R"({"state":1})");
  }
  EXPECT_EQ(item_->menuTitles(), lockedMenu());

  EXPECT_EQ(call("gLoginLockScreen", R"({"password":"s3cret"})"), R"({"error":0,"message":""})");
  EXPECT_EQ(call("gIsLockingScreen"), R"({"state":0})");
  EXPECT_FALSE(store_->getLockStatus(kUser));
  EXPECT_EQ(item_->menuTitles(), normalMenu());
}

TEST_F(AppChromeTest, ADigestFromAnotherComputerNeverUnlocks) {
  EXPECT_NE(ScreenLock::digest("pw", "machine-a"), ScreenLock::digest("pw", "machine-b"));
  EXPECT_EQ(ScreenLock::digest("pw", "machine-a").size(), 32u);
  call("gSetLockScreenPassword", R"({"enable":1,"password":"pw"})");
  call("gSetLockScreen");
  // The same settings row read on another computer.
  AppChrome::stop();
  chrome_.reset();
  chrome_ = startChrome("machine-b");
  app_->setStrScreenPassword(store_->getScreenPassword(kUser));
  EXPECT_EQ(call("gLoginLockScreen", R"({"password":"pw"})"),
            R"({"error":1,"message":"密码错误"})");
  EXPECT_TRUE(app_->bLockScreen());
}

TEST_F(AppChromeTest, DisablingWhileLockedLiftsTheLockAndTheLockedMenu) {
  call("gSetLockScreenPassword", R"({"enable":1,"password":"pw"})");
  call("gSetLockScreen");
  ASSERT_EQ(item_->menuTitles(), lockedMenu());
  EXPECT_EQ(call("gSetLockScreenPassword", R"({"enable":0})"), R"({"error":0,"message":""})");
  EXPECT_EQ(call("gIsLockingScreen"), R"({"state":0})");
  EXPECT_EQ(call("gIsSetLockScreen"), R"({"state":0})");
  EXPECT_EQ(store_->getScreenPassword(kUser), "");
  EXPECT_EQ(item_->menuTitles(), normalMenu());
}

TEST_F(AppChromeTest, LockingWithoutAPasswordIsIgnored) {
  call("gSetLockScreenPassword", "not json");  // changes nothing
  call("gSetLockScreenPassword", R"([{"enable":1,"password":"pw"}])");
  EXPECT_EQ(call("gSetLockScreen"), "(none)");
  EXPECT_EQ(call("gIsLockingScreen"), R"({"state":0})");
  EXPECT_FALSE(store_->getLockStatus(kUser));
  EXPECT_EQ(item_->menuTitles(), normalMenu());
  EXPECT_TRUE(mainWindow().isVisible());
}

TEST_F(AppChromeTest, ANumberPasswordIsHashedAsItsDecimalText) {
  call("gSetLockScreenPassword", R"({"enable":"1","password":1234})");
  call("gSetLockScreen");
  EXPECT_EQ(call("gLoginLockScreen", R"({"password":"1234"})"), R"({"error":0,"message":""})");
}

TEST_F(AppChromeTest, WhileLockedTheSignInWindowStaysHiddenAndLogOutIsOffered) {
  call("gSetLockScreenPassword", R"({"enable":1,"password":"pw"})");
  call("gSetLockScreen");
  ASSERT_TRUE(item_->activate("解锁"));
  EXPECT_EQ(signInShown_, 0);
  ASSERT_TRUE(item_->activate("注销"));
  EXPECT_EQ(logouts_, 1);
}

TEST_F(AppChromeTest, TheGrabFollowsTheHotKeySetting) {
  auto clock = std::make_shared<test::ManualClock>();
  test::ScopedClockOverride clockOverride(clock);
  auto* grab = ui_->globalHotKey();
  ASSERT_NE(grab, nullptr);
  EXPECT_EQ(grab->key(), "");
  app_->SetHotKey({"ctrl", "shift", "a"});
  chrome_->tick();
  EXPECT_EQ(grab->key(), "a");
  EXPECT_EQ(grab->modifiers(), (ui::HotKeyModifiers{.ctrl = true, .shift = true}));
  chrome_->tick();
  EXPECT_EQ(grab->grabs(), 1);  // unchanged setting: no new grab

  ASSERT_TRUE(grab->press());
  EXPECT_EQ(ui_->screenCapture().started(), 1);
  ASSERT_TRUE(ui_->screenCapture().finish(true));
  test::pumpMainThread();
  EXPECT_EQ(mainWindow().eventNames(), (std::vector<std::string>{"gHaveShortcuts"}));

  app_->SetHotKey({"a"});  // no modifier: nothing grabbed
  chrome_->tick();
  EXPECT_EQ(grab->key(), "");

  // The settings page's registration is grabbed at once.
  EXPECT_TRUE(registerHotKey({"alt", "F5"}));
  EXPECT_EQ(grab->key(), "F5");
  EXPECT_EQ(grab->modifiers(), (ui::HotKeyModifiers{.alt = true}));
}

TEST_F(AppChromeTest, KeysInOurWindows) {
  auto clock = std::make_shared<test::ManualClock>();
  test::ScopedClockOverride clockOverride(clock);
  auto& browserWindow = static_cast<FakeUiWindow&>(*browser_->window());
  const ui::HotKeyModifiers ctrl{.ctrl = true};

  // Escape released leaves the main window's full screen, and only its.
  mainWindow().setFullScreen(true);
  browserWindow.setFullScreen(true);
  EXPECT_FALSE(ui_->sendKey(browserWindow, {.press = false, .escape = true}));
  EXPECT_FALSE(ui_->sendKey(mainWindow(), {.press = true, .escape = true}));
  EXPECT_TRUE(mainWindow().isFullScreen());
  EXPECT_FALSE(ui_->sendKey(mainWindow(), {.press = false, .escape = true}));
  EXPECT_FALSE(mainWindow().isFullScreen());
  EXPECT_TRUE(browserWindow.isFullScreen());

  // The hot key while one of our windows has the focus.
  app_->SetHotKey({"ctrl", "shift", "s"});
  EXPECT_TRUE(ui_->sendKey(browserWindow, {.character = "s", .modifiers = {.ctrl = true, .shift = true}}));
  EXPECT_EQ(ui_->screenCapture().started(), 1);

  EXPECT_FALSE(ui_->sendKey(mainWindow(), {.character = "x", .modifiers = ctrl}));  // the page's
  EXPECT_FALSE(ui_->sendKey(mainWindow(), {.character = "h", .modifiers = {.alt = true, .ctrl = true}}));
  EXPECT_TRUE(ui_->sendKey(mainWindow(), {.character = "h", .modifiers = ctrl}));
  test::pumpMainThread();
  EXPECT_FALSE(mainWindow().isVisible());
  EXPECT_FALSE(browserWindow.isVisible());

  EXPECT_TRUE(ui_->sendKey(browserWindow, {.character = "m", .modifiers = ctrl}));
  test::pumpMainThread();
  EXPECT_EQ(browserWindow.minimizes(), 1);
  EXPECT_EQ(mainWindow().minimizes(), 0);

  EXPECT_TRUE(ui_->sendKey(browserWindow, {.character = "w", .modifiers = ctrl}));
  test::pumpMainThread();
  EXPECT_TRUE(browserWindow.isClosed());
  EXPECT_FALSE(mainWindow().isClosed());

  EXPECT_TRUE(ui_->sendKey(mainWindow(), {.character = "q", .modifiers = ctrl}));
  test::pumpMainThread();
  EXPECT_EQ(quits_, 1);  // not signed in: no question to ask
}

// The menu's titles as shown: separators as "-", submenus with their rows.
std::vector<std::string> titles(const ui::AppMenu& menu) {
  std::vector<std::string> out;
  for (const ui::AppMenuItem& item : menu) {
    out.push_back(item.isSeparator() ? "-" : item.title + (item.accelerator.empty() ? "" : " " + item.accelerator));
    for (const ui::AppMenuItem& row : item.submenu) {
      out.push_back("  " + (row.isSeparator() ? "-" : row.title + (row.accelerator.empty() ? "" : " " + row.accelerator)));
    }
  }
  return out;
}

const ui::AppMenuItem& row(const ui::AppMenu& menu, const std::string& title) {
  for (const ui::AppMenuItem& item : menu) {
    for (const ui::AppMenuItem& r : item.submenu) {
      if (r.title == title) return r;
    }
  }
  throw std::runtime_error("no menu row " + title);
}

TEST_F(AppChromeTest, TheApplicationMenuOfEveryWindow) {
  const std::vector<std::string> expected = {
      "NubrenVesko", "  关于", "  -", "  网络设置", "  -", "  隐藏 Nubren <Control>h",
      "  隐藏 其他 <Control><Alt>h", "  -", "  退出Nubren <Control>q",
      "编辑", "  剪切 <Control>x", "  复制 <Control>c", "  粘贴 <Control>v", "  全选 <Control>a",
      "窗口", "  关闭 <Control>w", "  最小化 <Control>m",
      "帮助", "  在线帮助"};
  EXPECT_EQ(titles(ui_->applicationMenu()), expected);

  // The deployment's title names the application's own menu, also when it
  // comes after start-up.
  auto info = std::make_shared<ServerInfo>(ServerInfo::Folders{});
  app_->setServerInfo(info);
  chrome_->tick();
  EXPECT_EQ(ui_->applicationMenu().at(0).title, "NubrenVesko");
  info->setStrTitleName("Acme Drive");
  chrome_->tick();
  const ui::AppMenu& menu = ui_->applicationMenu();
  EXPECT_EQ(menu.at(0).title, "Acme Drive");

  // Rows act on the window whose menu was used.
  auto& browserWindow = static_cast<FakeUiWindow&>(*browser_->window());
  row(menu, "最小化").activate(browserWindow);
  EXPECT_EQ(browserWindow.minimizes(), 1);
  row(menu, "粘贴").activate(mainWindow());
  row(menu, "全选").activate(mainWindow());
  EXPECT_EQ(mainWindow().editCommands(),
            (std::vector<ui::EditCommand>{ui::EditCommand::Paste, ui::EditCommand::SelectAll}));
  row(menu, "关闭").activate(browserWindow);
  EXPECT_TRUE(browserWindow.isClosed());
  row(menu, "隐藏 Nubren").activate(mainWindow());
  EXPECT_FALSE(mainWindow().isVisible());
  row(menu, "隐藏 其他").activate(mainWindow());
  EXPECT_EQ(ui_->otherApplicationsHidden(), 1);
  row(menu, "退出Nubren").activate(mainWindow());
  EXPECT_EQ(quits_, 1);

  // Once the chrome is gone its rows do nothing.
  const ui::AppMenu kept = menu;
  AppChrome::stop();
  chrome_.reset();
  mainWindow().show();
  row(kept, "隐藏 Nubren").activate(mainWindow());
  EXPECT_TRUE(mainWindow().isVisible());
  EXPECT_TRUE(ui_->applicationMenu().empty());
}

}  // namespace
}  // namespace nb::bridge
