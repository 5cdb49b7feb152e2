// Page calls through the window double: checks, threads, answers.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/dispatch/jsFunction.h"
#include "bridge/script/ClientScript.h"
#include "foundation/json/Json.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "support/FakeAppState.h"
#include "support/FakeUi.h"
#include "support/LogCapture.h"
#include "support/PumpMainThread.h"

namespace nb::bridge {
namespace {

using test::FakeUiWindow;

constexpr const char* kPage = "file:///opt/nb/UI/index.html";

class NBWebViewDelegateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::pumpMainThread();
    controller_ = BrowserWebWindowController::create(*ui_, "sole", "");
    window_ = &ui_->lastWindow();
    bridge_ = NBWebViewDelegate::install(controller_, TrustedOrigins({"/opt/nb/UI"}, {}));
    controller_->setStrUrl(kPage);
    controller_->reload(false);
  }
  void TearDown() override {
    for (const char* name : handled_) setPageHandler(name, nullptr);
    jsFunction::sharedInstance().operationQueue().waitUntilAllOperationsAreFinished();
    test::pumpMainThread();
  }

  void handle(const char* name, PageHandler handler) {
    setPageHandler(name, std::move(handler));
    handled_.push_back(name);
  }
  // What the page script would post for the call.
  std::string body(const std::string& fn, const JsonValue& args, const char* cb,
                   const std::string& token = {}) {
    return JSONString(JsonValue::object({{"token", token.empty() ? bridge_->token() : token},
                                         {"fn", fn},
                                         {"args", args},
                                         {"cb", cb ? JsonValue(cb) : JsonValue()}}))
        .value();
  }
  void call(const std::string& fn, const char* json, const char* cb, const char* uri = kPage) {
    ASSERT_TRUE(window_->postMessage(std::string(kMessageHandler),
                                     body(fn, JsonValue::array({JsonValue(json)}), cb), uri));
  }
  // The answers handed to the page, as (callback id, answer text).
  std::vector<std::pair<std::string, std::string>> answers() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& f : window_->functionCalls()) {
      EXPECT_EQ(f.body, kResolveFunctionBody);
      const JsonValue m = objectFromJSONString(f.argument).value();
      out.emplace_back(std::string(m["id"].asString()), std::string(m["answer"].asString()));
    }
    return out;
  }

  test::ScopedAppState app_;
  test::ScopedFakeUi ui_;
  std::shared_ptr<BrowserWebWindowController> controller_;
  FakeUiWindow* window_ = nullptr;
  std::shared_ptr<NBWebViewDelegate> bridge_;
  std::vector<const char*> handled_;
};

TEST_F(NBWebViewDelegateTest, InstallsTheScriptForTrustedPagesOnly) {
  ASSERT_EQ(window_->userScripts().size(), 1u);
  EXPECT_EQ(window_->userScripts()[0], clientScript(bridge_->token()));
  EXPECT_EQ(bridge_->token().size(), 32u);
  auto other = BrowserWebWindowController::create(*ui_, "sole", "2");
  auto otherBridge = NBWebViewDelegate::install(other, TrustedOrigins({"/opt/nb/UI"}, {}));
  EXPECT_NE(otherBridge->token(), bridge_->token());
}

TEST_F(NBWebViewDelegateTest, AnswersReachTheCallbackAsTextAfterTheCall) {
  struct Case {
    const char* fn;
    const char* answer;
    std::optional<std::string> delivered;  // nothing: no callback call
  };
  const std::vector<Case> cases = {
      {"gGetNetworkStatus", "1", "1"},
      {"gGetUrl", "", R"({"error":0,"message":""})"},
      {"gGetLogo", "/opt/logo.png", "/opt/logo.png"},
      {"gGetEnt", "\");alert(1);(\"", "\");alert(1);(\""},
      {"gGetFileListByTime", "", std::nullopt},
      {"gCache", "{}", "{}"},
  };
  for (const Case& c : cases) {
    handle(c.fn, [answer = std::string(c.answer)](const PageCall&, WebWindowController&) {
      return std::optional<std::string>(answer);
    });
    window_->functionCalls();
    const std::size_t before = window_->functionCalls().size();
    call(c.fn, "{}", "p_1");
    EXPECT_EQ(window_->functionCalls().size(), before) << c.fn << ": answered inside the call";
    jsFunction::sharedInstance().operationQueue().waitUntilAllOperationsAreFinished();
    test::pumpMainThread();
    const auto got = answers();
    if (c.delivered) {
      ASSERT_EQ(got.size(), before + 1) << c.fn;
      EXPECT_EQ(got.back(), (std::pair<std::string, std::string>{"p_1", *c.delivered})) << c.fn;
    } else {
      EXPECT_EQ(got.size(), before) << c.fn;
    }
  }
}

TEST_F(NBWebViewDelegateTest, ArgumentsArriveAsTextsAndMissingOnesAsNone) {
  std::vector<std::optional<std::string>> seen;
  handle("gDialogAction", [&](const PageCall& c, WebWindowController&) {
    seen = c.args;
    return std::optional<std::string>("1");
  });
  ASSERT_TRUE(window_->postMessage(
      std::string(kMessageHandler),
      body("gDialogAction", JsonValue::array({JsonValue("open"), JsonValue()}), "p_2"), kPage));
  EXPECT_EQ(seen, (std::vector<std::optional<std::string>>{"open", std::nullopt}));
}

TEST_F(NBWebViewDelegateTest, MessagesWithoutTheTokenOrFromElsewhereAreDropped) {
  int calls = 0;
  handle("gGetUrl", [&](const PageCall&, WebWindowController&) {
    ++calls;
    return std::optional<std::string>("1");
  });
  const std::string handler(kMessageHandler);
  const JsonValue args = JsonValue::array({JsonValue("{}")});
  window_->postMessage(handler, body("gGetUrl", args, "p_1", "0000"), kPage);
  window_->postMessage(handler, body("gGetUrl", args, "p_1"), "https://elsewhere.test/");
  window_->postMessage(handler, body("gGetUrl", args, "p_1"), "file:///tmp/index.html");
  window_->postMessage(handler, body("toString", args, "p_1"), kPage);
  window_->postMessage(handler, "not json", kPage);
  EXPECT_EQ(calls, 0);
  // The view itself moved to a page of its own choosing.
  controller_->window()->load("https://elsewhere.test/", std::nullopt);
  window_->postMessage(handler, body("gGetUrl", args, "p_1"), kPage);
  EXPECT_EQ(calls, 0);
  controller_->window()->load(kPage, std::nullopt);
  window_->postMessage(handler, body("gGetUrl", args, "p_1"), kPage);
  EXPECT_EQ(calls, 1);
}

TEST_F(NBWebViewDelegateTest, AFourthQueuedCallWaitsForOneOfThree) {
  std::mutex mutex;
  std::condition_variable changed;
  int running = 0;
  int started = 0;
  bool release = false;
  handle("gCopy", [&](const PageCall&, WebWindowController&) {
    std::unique_lock lock(mutex);
    ++running;
    ++started;
    changed.notify_all();
    changed.wait(lock, [&] { return release; });
    --running;
    return std::optional<std::string>("{}");
  });
  for (const char* cb : {"a_1", "a_2", "a_3", "a_4"}) call("gCopy", "{}", cb);
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return started == 3; }));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(started, 3);
    release = true;
  }
  changed.notify_all();
  jsFunction::sharedInstance().operationQueue().waitUntilAllOperationsAreFinished();
  test::pumpMainThread();
  EXPECT_EQ(started, 4);
  EXPECT_EQ(answers().size(), 4u);
}

TEST_F(NBWebViewDelegateTest, StubRulesAndThrowingBodies) {
  test::LogCapture log;
  int bodies = 0;
  auto count = [&](const PageCall&, WebWindowController&) {
    ++bodies;
    return std::optional<std::string>("{}");
  };
  handle("gEditorSave", count);
  handle("gSetUserInfo", count);
  handle("gGetEnts", [](const PageCall&, WebWindowController&) -> std::optional<std::string> {
    throw std::runtime_error("boom");
  });
  app_->setLoginFinish(false);
  call("gEditorSave", "{}", "e_1");  // before sign-in: ignored
  call("gSetUserInfo", "{}", "e_2");  // runs, never answers
  call("gGetEnts", "{}", "e_3");
  jsFunction::sharedInstance().operationQueue().waitUntilAllOperationsAreFinished();
  test::pumpMainThread();
  EXPECT_EQ(bodies, 1);
  EXPECT_TRUE(answers().empty());
  EXPECT_NE(log.text().find("exception: boom"), std::string::npos);
  app_->setLoginFinish(true);
  call("gEditorSave", "{}", "e_4");
  jsFunction::sharedInstance().operationQueue().waitUntilAllOperationsAreFinished();
  test::pumpMainThread();
  EXPECT_EQ(bodies, 2);
  EXPECT_EQ(answers().size(), 1u);
}

TEST_F(NBWebViewDelegateTest, FunctionsWithoutABodyAnswerTheFailureStatus) {
  // Whatever start-up registered elsewhere, these two have no body here.
  for (const char* name : {"gGetShortcuts", "gGetUpload"}) setPageHandler(name, nullptr);
  call("gGetShortcuts", "{}", "u_1");
  call("gGetUpload", "{}", "u_2");
  jsFunction::sharedInstance().operationQueue().waitUntilAllOperationsAreFinished();
  test::pumpMainThread();
  const auto got = answers();
  ASSERT_EQ(got.size(), 2u);
  for (const auto& [id, text] : got) {
    EXPECT_EQ(objectFromJSONString(text).value()["error"].asInt64(), 1) << id;
  }
}

TEST_F(NBWebViewDelegateTest, NoAnswerReachesAClosedWindow) {
  handle("gGetUrl", [](const PageCall&, WebWindowController&) {
    return std::optional<std::string>("1");
  });
  call("gGetUrl", "{}", "c_1");
  controller_->window()->close();
  test::pumpMainThread();
  EXPECT_TRUE(window_->functionCalls().empty());
}

}  // namespace
}  // namespace nb::bridge
