// `nbClient` in a real web view: what a trusted page sees, calls answered on
// both threads, the queue's width, untrusted pages and late answers.

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <mutex>

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/dispatch/jsFunction.h"
#include "bridge/script/PageFunctions.h"
#include "foundation/json/Json.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "support/FakeAppState.h"
#include "support/GtkUiFixture.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::bridge {
namespace {

constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><script>
function send(text) { window.webkit.messageHandlers.probe.postMessage(String(text)); }
window.addEventListener("load", function () {
  if (typeof window.nbClient === "undefined") { send("none:" + typeof window.__nb); return; }
  var functions = [];
  for (var key of Object.getOwnPropertyNames(window.nbClient)) {
    if (typeof window.nbClient[key] === "function") functions.push(key);
  }
  var others = Object.getOwnPropertyNames(window.nbClient).length - functions.length;
  send("names:" + (Object.getPrototypeOf(window.nbClient) === null) + ":" + others + ":" +
       functions.sort().join(","));
});
</script></head><body>page</body></html>
)";

class ClientScriptWindowTest : public test::GtkUiTest {
 protected:
  void SetUp() override {
    GtkUiTest::SetUp();
    if (IsSkipped()) return;
    folder_ = test::makeTempDir("nbbridge");
    std::filesystem::create_directories(folder_ / "UI");
    std::filesystem::create_directories(folder_ / "elsewhere");
    std::ofstream(folder_ / "UI" / "index.html") << kPage;
    std::ofstream(folder_ / "elsewhere" / "index.html") << kPage;
    controller_ = BrowserWebWindowController::create(*sharedUi(), "sole", "");
    bridge_ = NBWebViewDelegate::install(controller_,
                                         TrustedOrigins({(folder_ / "UI").string()}, {}));
    controller_->window()->addMessageHandler(
        "probe", [this](const std::string& body, const std::string&) {
          std::lock_guard lock(mutex_);
          messages_.push_back(body);
        });
    controller_->window()->setFrame({0, 0, 400, 300});
  }
  void TearDown() override {
    if (IsSkipped()) return;
    for (const char* name : handled_) setPageHandler(name, nullptr);
    jsFunction::sharedInstance().operationQueue().waitUntilAllOperationsAreFinished();
    controller_->window()->close();
    test::pumpMainThread();
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
  }

  void open(const char* sub) {
    clear();
    controller_->window()->load("file://" + (folder_ / sub / "index.html").string(),
                                std::nullopt);
  }
  void handle(const char* name, PageHandler handler) {
    setPageHandler(name, std::move(handler));
    handled_.push_back(name);
  }
  // The page runs `script` (with `send` at hand).
  void run(const std::string& script) { controller_->window()->callFunction(script, ""); }

  std::vector<std::string> messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
  }
  // The first message starting with `prefix`, waiting for it.
  std::optional<std::string> waitFor(const std::string& prefix) {
    std::optional<std::string> found;
    test::pumpMainThreadUntil([&] {
      for (const std::string& m : messages()) {
        if (m.rfind(prefix, 0) == 0) found = m;
      }
      return found.has_value();
    }, std::chrono::seconds(20));
    return found;
  }

  test::ScopedAppState app_;
  std::filesystem::path folder_;
  std::shared_ptr<BrowserWebWindowController> controller_;
  std::shared_ptr<NBWebViewDelegate> bridge_;
  std::vector<const char*> handled_;
  std::mutex mutex_;
  std::vector<std::string> messages_;
};

TEST_F(ClientScriptWindowTest, TrustedPageSeesExactlyThePageFunctions) {
  open("UI");
  const std::optional<std::string> names = waitFor("names:");
  ASSERT_TRUE(names);
  std::vector<std::string> expected;
  for (const PageFunction& f : pageFunctions()) expected.emplace_back(f.name);
  std::sort(expected.begin(), expected.end());
  std::string list;
  for (const std::string& name : expected) list += (list.empty() ? "" : ",") + name;
  EXPECT_EQ(*names, "names:true:0:" + list);
}

TEST_F(ClientScriptWindowTest, UntrustedPageSeesNoClient) {
  open("elsewhere");
  EXPECT_EQ(waitFor("none:"), "none:undefined");
}

TEST_F(ClientScriptWindowTest, MainAndQueuedCallsAnswerTheirCallbacks) {
  handle("gGetUrl", [](const PageCall& call, WebWindowController&) {
    return std::optional<std::string>(R"({"echo":)" + JSONString(JsonValue(call.json())).value() +
                                      "}");
  });
  handle("gCopy", [](const PageCall&, WebWindowController&) {
    return std::optional<std::string>("1");
  });
  handle("gGetLogo", [](const PageCall&, WebWindowController&) {
    return std::optional<std::string>("\");send(\"injected\");(\"");
  });
  open("UI");
  ASSERT_TRUE(waitFor("names:"));
  run(R"(var r = nbClient.gGetUrl('{"a":1}', function (v) { send("main:" + JSON.stringify(v)); });
         send("returned:" + r);
         nbClient.gCopy("{}", function (v) { send("queued:" + typeof v + ":" + v); });
         nbClient.gGetLogo("{}", function (v) { send("text:" + v); });
         send("ui:" + nbClient.gGetUIPath("{}"));)");
  EXPECT_EQ(waitFor("main:"), R"(main:{"echo":"{\"a\":1}"})");
  EXPECT_EQ(waitFor("returned:"), "returned:undefined");
  EXPECT_EQ(waitFor("queued:"), "queued:number:1");
  EXPECT_EQ(waitFor("text:"), "text:\");send(\"injected\");(\"");
  EXPECT_EQ(waitFor("ui:"), "ui:true");
  const auto all = messages();
  EXPECT_EQ(std::count(all.begin(), all.end(), "injected"), 0);
}

TEST_F(ClientScriptWindowTest, AFourthQueuedCallWaitsAndLateAnswersCallNothing) {
  std::mutex mutex;
  std::condition_variable changed;
  int started = 0;
  bool release = false;
  handle("gCopy", [&](const PageCall&, WebWindowController&) {
    std::unique_lock lock(mutex);
    ++started;
    changed.notify_all();
    changed.wait(lock, [&] { return release; });
    return std::optional<std::string>("{}");
  });
  open("UI");
  ASSERT_TRUE(waitFor("names:"));
  run(R"(for (var i = 0; i < 4; i++) nbClient.gCopy("{}", function () { send("late"); });)");
  ASSERT_TRUE(test::pumpMainThreadUntil([&] {
    std::lock_guard lock(mutex);
    return started == 3;
  }));
  test::pumpMainThreadUntil([] { return false; }, std::chrono::milliseconds(100));
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(started, 3);
  }
  // A new page load: the old page's callbacks are gone with it.
  open("UI");
  ASSERT_TRUE(waitFor("names:"));
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  changed.notify_all();
  ASSERT_TRUE(test::pumpMainThreadUntil([&] {
    return jsFunction::sharedInstance().operationQueue().operationCount() == 0;
  }));
  run(R"(send("after");)");
  ASSERT_TRUE(waitFor("after"));
  EXPECT_EQ(started, 4);
  const auto all = messages();
  EXPECT_EQ(std::count(all.begin(), all.end(), "late"), 0);
}

}  // namespace
}  // namespace nb::bridge
