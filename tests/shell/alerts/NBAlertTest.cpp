// Alerts: return codes, cancel buttons and callers that wait, through the
// recording UI double.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/MainThread.h"
#include "shell/alerts/NBAlert.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

class NBAlertTest : public ::testing::Test {
 protected:
  void SetUp() override { pumpMainThread(); }  // this thread becomes main
  void TearDown() override { pumpMainThread(); }

  ScopedFakeUi ui_;
  std::shared_ptr<ui::WebWindow> window_ = ui_->makeWebWindow({});
  NBAlert::Content content_{"Title", "Text", "", ui::AlertStyle::Warning};
};

// Which callback each button of the callback sheets reaches.
struct SheetCase {
  const char* name;
  std::optional<std::string> cancelTitle;
  std::vector<std::string> others;
  int pressed;  // button index as shown
  std::optional<int> dismissedWith;
  bool cancelled;
};

TEST_F(NBAlertTest, CallbackSheetsRouteEachButton) {
  const std::vector<SheetCase> cases = {
      {"cancel button, last", "取消", {"A", "B"}, 2, std::nullopt, true},
      {"second other button", "取消", {"A", "B"}, 1, 1, false},
      {"first other button", "取消", {"A", "B"}, 0, 0, false},
      {"no cancel title, last", std::nullopt, {"A", "B"}, 1, 1, false},
      {"no cancel title, first", std::nullopt, {"A", "B"}, 0, 0, false},
  };
  for (const SheetCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<int> dismissed;
    bool cancelled = false;
    ui_->dialogs().answerNext(c.pressed);
    NBAlert::showSheetModalForWindow(
        window_, content_, c.cancelTitle, c.others, [&](int index) { dismissed = index; },
        [&] { cancelled = true; });
    EXPECT_FALSE(dismissed || cancelled) << "answers come after the call returned";
    pumpMainThread();
    EXPECT_EQ(dismissed, c.dismissedWith);
    EXPECT_EQ(cancelled, c.cancelled);
    const auto shown = ui_->dialogs().shown().back();
    const std::size_t buttons = c.others.size() + (c.cancelTitle ? 1 : 0);
    EXPECT_EQ(shown.alert.buttons.size(), buttons);
    EXPECT_EQ(shown.modality, ui::Modality::Window);
    EXPECT_EQ(shown.parent, window_.get());
  }
}

TEST_F(NBAlertTest, ResultSheetAnswersThousandPlusIndex) {
  for (int pressed : {0, 1}) {
    std::optional<int> code;
    ui_->dialogs().answerNext(pressed);
    NBAlert::showNBSheetModalForWindow(window_, content_, {"确定", "取消"},
                                       [&](int c) { code = c; });
    pumpMainThread();
    EXPECT_EQ(code, 1000 + pressed);
  }
}

TEST_F(NBAlertTest, ModalQuestionSkipsEmptyTitles) {
  ui_->dialogs().answerNext(0);
  EXPECT_EQ(NBAlert::showNBSheetModalForWindow(window_, content_, {"", "Yes", "No"}), 1000);
  const auto shown = ui_->dialogs().shown().back();
  EXPECT_EQ(shown.alert.buttons, (std::vector<std::string>{"Yes", "No"}));
  EXPECT_EQ(shown.modality, ui::Modality::Application);
  EXPECT_EQ(shown.parent, nullptr) << "the window is not used";

  ui_->dialogs().answerNext(1);
  EXPECT_EQ(NBAlert::showNBSheetModalForWindow(window_, content_, {"Yes", "", "No"}), 1001);
}

TEST_F(NBAlertTest, SynchronousSheetAnswersAndLeavesNothingWaiting) {
  ui_->dialogs().answerNext(1);
  EXPECT_EQ(NBAlert::runModalSheetForWindow(window_, content_, {"确定", "取消"}), 1001);
  EXPECT_EQ(ui_->dialogs().waiting(), 0U);
  EXPECT_TRUE(ui_->dialogs().shown().back().ranModal);
}

TEST_F(NBAlertTest, ModalQuestionFromWorkerWhileMainIsBusy) {
  std::atomic<int> code{0};
  std::thread worker([&] {
    code = NBAlert::showNBSheetModalForWindow(window_, content_, {"Yes", "No"});
  });
  // The main thread is busy elsewhere: nothing may show before it turns to
  // its jobs, and the worker keeps waiting.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(ui_->dialogs().shown().empty());
  ASSERT_TRUE(pumpMainThreadUntil([&] { return ui_->dialogs().waiting() == 1; }));
  EXPECT_EQ(code.load(), 0) << "no answer before the user answered";
  ASSERT_TRUE(ui_->dialogs().respond(1));
  ASSERT_TRUE(pumpMainThreadUntil([&] { return code != 0; }));
  worker.join();
  EXPECT_EQ(code.load(), 1001);
  EXPECT_EQ(ui_->dialogs().shown().size(), 1U) << "shown exactly once";
}

TEST_F(NBAlertTest, InformationalSheetWaitsOnlyOffTheMainThread) {
  NBAlert::showNBSheetModalForWindow(window_, content_, "OK");
  EXPECT_EQ(ui_->dialogs().waiting(), 1U) << "returned while the sheet is up";
  ui_->dialogs().respond(0);
  pumpMainThread();

  std::atomic<bool> returned{false};
  std::thread worker([&] {
    NBAlert::showNBSheetModalForWindow(window_, content_, "OK");
    returned = true;
  });
  ASSERT_TRUE(pumpMainThreadUntil([&] { return ui_->dialogs().waiting() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(returned);
  ui_->dialogs().respond(0);
  ASSERT_TRUE(pumpMainThreadUntil([&] { return returned.load(); }));
  worker.join();
}

TEST(NBAlertWithoutUi, AnswersTheLastButton) {
  pumpMainThread();
  NBAlert::Content content{"Title", "", "", ui::AlertStyle::Warning};
  EXPECT_EQ(NBAlert::runModalSheetForWindow(nullptr, content, {"A", "B", "C"}), 1002);
  std::optional<int> code;
  NBAlert::showNBSheetModalForWindow(nullptr, content, {"A", "B"}, [&](int c) { code = c; });
  pumpMainThread();
  EXPECT_EQ(code, 1001);
}

}  // namespace
}  // namespace nb::test
