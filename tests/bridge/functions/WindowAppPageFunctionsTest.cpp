// The window and application page functions through the window double.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/PageFunctionGroups.h"
#include "bridge/functions/WindowAppPageFunctions.h"
#include "bridge/windows/WindowRegistry.h"
#include "foundation/app/AppState.h"
#include "shell/app/AppDelegate.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LoginWebWindowController.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::bridge {
namespace {

namespace fs = std::filesystem;
using test::FakeUiWindow;

class SilentPlayer final : public platform::SoundPlayer {
 public:
  bool play(const fs::path&) override { return true; }
};

class WindowAppPageFunctionsTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    test::pumpMainThread();
    setAppDelegate(app_);
    setWindowRelay(registry_);
    setWindowRegistry(registry_);
    setWindowDirectory(registry_);
    registerPageFunctionGroups();
    page_ = BrowserWebWindowController::create(*ui_, "sole", "page");
    NBWebViewDelegate::install(page_, TrustedOrigins({"/opt/nb/UI"}, {}));
    registry_->addBrowserWindow(page_);
  }
  void TearDown() override {
    app_->taskQueue()->waitUntilAllOperationsAreFinished();
    test::pumpMainThread();
    setUriOpener(nullptr);
    setWindowDirectory(nullptr);
    setWindowRegistry(nullptr);
    setWindowRelay(nullptr);
    setAppDelegate(nullptr);
    TempHome::TearDown();
  }

  // Runs the page function `fn` in `window` with the texts `args`.
  std::optional<std::string> call(const std::string& fn, std::vector<std::string> args = {},
                                  WebWindowController* window = nullptr) {
    PageCall pageCall{.name = fn, .args = {}};
    for (auto& a : args) pageCall.args.emplace_back(std::move(a));
    return pageHandler(fn)(pageCall, window ? *window : *page_);
  }
  static FakeUiWindow& fake(const WebWindowController& c) {
    return static_cast<FakeUiWindow&>(*c.window());
  }
  std::size_t windowsMade() const { return ui_->windows().size(); }

  test::ScopedFakeUi ui_;
  std::shared_ptr<AppDelegate> app_ = std::make_shared<AppDelegate>(AppDelegate::Options{
      .resourceFolders = {"/nonexistent"}, .soundPlayer = std::make_shared<SilentPlayer>()});
  std::shared_ptr<WindowRegistry> registry_ = std::make_shared<WindowRegistry>();
  std::shared_ptr<BrowserWebWindowController> page_;
};

TEST_F(WindowAppPageFunctionsTest, MainReusesAWindowByKindAndKeyOrName) {
  struct Case {
    const char* first;
    const char* second;
    bool same;
  };
  const Case cases[] = {
      {R"({"type":"t","key":"k","name":"A"})", R"({"type":"t","key":"k","name":"B"})", true},
      {R"({"type":"t","name":"N"})", R"({"type":"t","name":"N"})", true},
      {R"({"type":"t","key":"","name":"M"})", R"({"type":"t","name":"M"})", true},
      {R"({"type":"t","key":"k1"})", R"({"type":"t","key":"k2"})", false},
      {R"({"type":"a","key":"k"})", R"({"type":"b","key":"k"})", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first);
    const std::size_t before = windowsMade();
    const auto one = call("gMain", {c.first});
    const auto two = call("gMain", {c.second});
    ASSERT_TRUE(one && two);
    EXPECT_EQ(*one == *two, c.same) << *one << " " << *two;
    EXPECT_EQ(windowsMade() - before, c.same ? 1u : 2u);
    EXPECT_NE(*one, R"({"hwnd":0})");
    for (const auto& browser : registry_->browserWindows()) {
      if (browser != page_) browser->window()->close();
    }
  }
}

TEST_F(WindowAppPageFunctionsTest, MainWithoutAnObjectOpensNothing) {
  for (const char* text : {"", "not json", "[1]", "7"}) {
    SCOPED_TRACE(text);
    const std::size_t before = windowsMade();
    EXPECT_EQ(call("gMain", {text}), R"({"hwnd":0})");
    EXPECT_EQ(windowsMade(), before);
  }
}

TEST_F(WindowAppPageFunctionsTest, VideoPlayerKeepsOneWindow) {
  const std::size_t before = windowsMade();
  EXPECT_FALSE(call("gVideoPlayer", {R"({"url":"file:///opt/nb/UI/v.html"})"}));
  EXPECT_FALSE(call("gVideoPlayer", {R"({"url":"file:///opt/nb/UI/w.html","width":10})"}));
  EXPECT_EQ(windowsMade(), before + 1);
  EXPECT_EQ(registry_->browserWindows().back()->solestr(), "VideoPlayer");
  EXPECT_EQ(registry_->browserWindows().back()->strTitle(), "");
  call("gVideoPlayer", {"not json"});
  EXPECT_EQ(windowsMade(), before + 1);
}

TEST_F(WindowAppPageFunctionsTest, CloseLeavesTheSignInWindowOpen) {
  auto login = LoginWebWindowController::create(*ui_, root().string());
  registry_->setLoginWindow(login);
  call("gClose", {}, login.get());
  EXPECT_FALSE(login->window()->isClosed());
  call("gClose");
  EXPECT_TRUE(page_->window()->isClosed());
}

TEST_F(WindowAppPageFunctionsTest, WindowSettingAnswersRegistInTheSignInWindow) {
  auto login = LoginWebWindowController::create(*ui_, root().string());
  login->setStrInfo("ignored");
  EXPECT_EQ(call("gGetWindowSetting", {""}, login.get()), R"({"setting":"regist"})");
  EXPECT_EQ(call("gGetWindowSetting", {""}), "{}");
  page_->setStrInfo("opened-with");
  EXPECT_EQ(call("gGetWindowSetting", {""}), R"({"setting":"opened-with"})");
}

TEST_F(WindowAppPageFunctionsTest, WindowRectRoundTripsAndASizelessFrameIsClamped) {
  struct Case {
    const char* json;
    ui::Size least;
    ui::Rect expected;
  };
  const Case cases[] = {
      {R"({"x":5,"y":6,"cx":700,"cy":400})", {}, {5, 6, 700, 400}},
      {R"({"x":10,"y":20})", {}, {10, 20, 1, 1}},
      {R"({"x":10,"y":20})", {300, 200}, {10, 20, 300, 200}},
      {R"({"x":"3","cx":"50.5","cy":60})", {}, {3, 0, 50.5, 60}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    page_->window()->setMinSize(c.least);
    call("gSetWindowRect", {c.json});
    EXPECT_EQ(page_->window()->frame(), c.expected);
  }
  EXPECT_EQ(call("gGetWindowRect", {""}), R"({"x":3,"y":0,"cx":50.5,"cy":60})");
  const ui::Rect kept = page_->window()->frame();
  call("gSetWindowRect", {"not json"});
  EXPECT_EQ(page_->window()->frame(), kept);
}

TEST_F(WindowAppPageFunctionsTest, FullScreenToggles) {
  EXPECT_EQ(call("gIsFullWindow", {""}), "0");
  call("gSetFullWindow");
  EXPECT_EQ(call("gIsFullWindow", {""}), "1");
  call("gSetFullWindow");
  EXPECT_EQ(call("gIsFullWindow", {""}), "0");
}

TEST_F(WindowAppPageFunctionsTest, CheckUpdateReportsTheUpdateState) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, R"({"status":""})"},
      {1, R"({"status":"update"})"},
      {2, R"({"status":"finish"})"},
      {7, R"({"status":""})"},
  };
  for (const auto& [status, answer] : cases) {
    app_->setUpdateStatusInteger(status);
    EXPECT_EQ(call("gCheckUpdate", {""}), answer) << status;
  }
  EXPECT_EQ(call("gExeUpdateInfo", {""}), "{}");
  app_->setStrUpdateServerInfo(R"({"version":"2"})");
  EXPECT_EQ(call("gExeUpdateInfo", {""}), R"({"version":"2"})");
  app_->setStrUpdateServerInfo("<html>");
  EXPECT_EQ(call("gExeUpdateInfo", {""}), "{}");
}

TEST_F(WindowAppPageFunctionsTest, OpenUrlOpensOnlyWebAndMailAddresses) {
  std::vector<std::string> opened;
  setUriOpener([&](const std::string& uri) {
    opened.push_back(uri);
    return true;
  });
  struct Case {
    const char* json;
    const char* opens;  // null: dropped
  };
  const Case cases[] = {
      {R"({"url":"https://example.test/a?b=c"})", "https://example.test/a?b=c"},
      {R"({"url":"http://example.test"})", "http://example.test"},
      {R"({"url":"HTTPS://example.test"})", "HTTPS://example.test"},
      {R"({"url":"mailto:help@example.test"})", "mailto:help@example.test"},
      {R"({"url":"file:///etc/passwd"})", nullptr},
      {R"({"url":"vep://open?x"})", nullptr},
      {R"({"url":"javascript:void 0"})", nullptr},
      {R"({"url":"/usr/bin/xterm"})", nullptr},
      {R"({"url":""})", nullptr},
      {R"("https://example.test")", nullptr},
      {"not json", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    opened.clear();
    call("gOpenUrl", {c.json});
    EXPECT_EQ(opened, c.opens ? std::vector<std::string>{c.opens} : std::vector<std::string>{});
  }
}

TEST_F(WindowAppPageFunctionsTest, ZipSyncDbQueuesTheBundleOnlyWhenAFolderIsChosen) {
  const fs::path folder = home() / "support";
  fs::create_directories(folder);
  ui_->dialogs().answerNextFolder(std::nullopt);
  call("gZipSyncDb");
  test::pumpMainThread();
  app_->taskQueue()->waitUntilAllOperationsAreFinished();
  // The bundle task leaves its zip, or its copies when nothing could be
  // zipped, in the chosen folder.
  const auto bundled = [&] {
    return fs::exists(folder / "synczip.zip") || fs::exists(folder / "synczip");
  };
  EXPECT_FALSE(bundled());
  ASSERT_EQ(ui_->dialogs().foldersAsked().size(), 1u);
  EXPECT_EQ(ui_->dialogs().foldersAsked()[0].startFolder, home().string());

  ui_->dialogs().answerNextFolder(folder.string());
  call("gZipSyncDb");
  test::pumpMainThread();
  app_->taskQueue()->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(bundled());
}

TEST_F(WindowAppPageFunctionsTest, MessagesReachTheMainWindow) {
  auto login = LoginWebWindowController::create(*ui_, root().string());
  registry_->setLoginWindow(login);
  call("gPostMessage", {R"({"a":1})", "login"});
  EXPECT_EQ(fake(*login).eventNames(), (std::vector<std::string>{"PostMessage"}));
  call("gSetCurrentPath", {R"({"path":"/x"})"});
  EXPECT_EQ(page_->jsonString(), R"({"path":"/x"})");
}

}  // namespace
}  // namespace nb::bridge
