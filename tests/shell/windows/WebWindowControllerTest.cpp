// The common part of the web windows: the event channel's text handling,
// the first load, file drops and the drag-out end.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/PageEventText.h"
#include "shell/windows/WebWindowController.h"
#include "support/FakeAppState.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

TEST(PageEventTextTest, TextBecomesJsonNeverScript) {
  struct Case {
    const char* text;
    std::optional<std::string> detail;
  };
  const std::vector<Case> cases = {
      {R"({"a": [1, 2]})", R"({"a":[1,2]})"},  // re-written by our writer
      {"[1,2]", "[1,2]"},
      {"102", R"("102")"},  // not an object or array: one string
      {R"(");alert(1);(")", R"("\");alert(1);(\"")"},
      {"{\"open\":", R"("{\"open\":")"},
      {"", std::nullopt},  // nothing to raise
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto event = pageEventFromText("PostMessage", c.text);
    ASSERT_EQ(event.has_value(), c.detail.has_value());
    if (event) {
      EXPECT_EQ(event->detail(), *c.detail);
    }
  }
  EXPECT_FALSE(pageEventFromText("bad name();", "{}"));
}

class WebWindowControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pumpMainThread();
    app_->setLanguage("en-us");
    controller_ = BrowserWebWindowController::create(*ui_, "child", "key");
  }
  void TearDown() override {
    controller_.reset();
    pumpMainThread();
  }
  FakeUiWindow& window() { return ui_->lastWindow(); }

  ScopedAppState app_;
  ScopedFakeUi ui_;
  std::shared_ptr<BrowserWebWindowController> controller_;
};

TEST_F(WebWindowControllerTest, FirstReloadLoadsLaterOnesOnlyWhenAsked) {
  controller_->reload(false);
  EXPECT_TRUE(window().loads().empty()) << "no address yet";
  controller_->setStrUrl("file:///ui/index.html#/setting/account");
  controller_->setStrUrl("");  // ignored
  controller_->reload(false);
  controller_->reload(false);
  ASSERT_EQ(window().loads().size(), 1U);
  EXPECT_EQ(window().loads()[0].url, "file:///ui/index.html#/setting/account");
  EXPECT_EQ(window().loads()[0].acceptLanguage, "en-us");
  EXPECT_EQ(window().reloads(), 0);
  controller_->reload(true);
  EXPECT_EQ(window().reloads(), 1);
  EXPECT_TRUE(controller_->alreadyload());
}

TEST_F(WebWindowControllerTest, DropIsStoredInOrderAndReadOnce) {
  EXPECT_EQ(controller_->dragInformation(), std::nullopt);
  window().dropFiles({"/home/u/c.txt", "/home/u/a b.txt", "/home/u/b.txt"}, 12.5, 40);
  EXPECT_EQ(controller_->dragInformation(),
            R"({"list":[{"path":"/home/u/c.txt"},{"path":"/home/u/a b.txt"},)"
            R"({"path":"/home/u/b.txt"}],"x":12.5,"y":40})");
  EXPECT_EQ(controller_->dragInformation(), std::nullopt) << "read once";

  window().dropFiles({"/x"}, 1, 2);
  window().dropFiles({}, 3, 4);  // a drop without files leaves the last one
  EXPECT_EQ(controller_->dragInformation(), R"({"list":[{"path":"/x"}],"x":1,"y":2})");
}

TEST_F(WebWindowControllerTest, DragOutEndGoesToItsTargetOnce) {
  std::vector<std::string> ends;
  window().endDragOut("/home/u/Desktop");
  EXPECT_TRUE(ends.empty()) << "no items handed over: nothing to do";

  const auto target = [&ends] {
    return WebWindowController::DragOutTarget{
        [&ends](const std::string& folder) { ends.push_back("folder " + folder); },
        [&ends] { ends.push_back("other"); }};
  };
  controller_->setDragOutTarget(target());
  window().endDragOut("/home/u/Desktop");
  window().endDragOut("/home/u/Desktop");
  controller_->setDragOutTarget(target());
  window().endDragOut(std::nullopt);
  EXPECT_EQ(ends, (std::vector<std::string>{"folder /home/u/Desktop", "other"}));
}

TEST_F(WebWindowControllerTest, EventsFromWorkersArriveInOrderAfterTheScriptRan) {
  constexpr int kEvents = 20;
  std::atomic<int> returned{0};
  std::thread worker([&] {
    for (int i = 0; i < kEvents; ++i) {
      controller_->setCustomEvent("PostMessage", "{\"n\":" + std::to_string(i) + "}");
      // Returning means the page has it.
      if (window().events().size() != static_cast<std::size_t>(i + 1)) return;
      ++returned;
    }
  });
  ASSERT_TRUE(pumpMainThreadUntil([&] { return window().events().size() == kEvents; }));
  worker.join();
  EXPECT_EQ(returned.load(), kEvents);
  const auto events = window().events();
  for (int i = 0; i < kEvents; ++i) {
    EXPECT_EQ(events[i].detail, "{\"n\":" + std::to_string(i) + "}");
  }
}

}  // namespace
}  // namespace nb::test
