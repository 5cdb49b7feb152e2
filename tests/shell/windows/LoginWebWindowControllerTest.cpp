// The sign-in window: its page, the waiting sign-in result and its close.

#include <gtest/gtest.h>

#include "shell/windows/LoginWebWindowController.h"
#include "shell/windows/WindowRelay.h"
#include "support/FakeAppState.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

class CountingRelay final : public WindowRelay {
 public:
  void gCloseCurrentPath(const std::string&) override {}
  void closeWindowsForLaunchpad(std::int64_t) override {}
  void windowClosed(const std::shared_ptr<WebWindowController>&) override { ++dropped; }
  int dropped = 0;
};

class LoginWebWindowControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pumpMainThread();
    setWindowRelay(relay_);
    controller_ = LoginWebWindowController::create(
        *ui_, "/opt/nb/UI", [this](int status) { exits_.push_back(status); });
    window_ = &ui_->lastWindow();
  }
  void TearDown() override { setWindowRelay(nullptr); }

  ScopedAppState app_;
  ScopedFakeUi ui_;
  std::shared_ptr<CountingRelay> relay_ = std::make_shared<CountingRelay>();
  std::shared_ptr<LoginWebWindowController> controller_;
  FakeUiWindow* window_ = nullptr;
  std::vector<int> exits_;
};

TEST_F(LoginWebWindowControllerTest, LoadsTheSignInPageWithoutLanguage) {
  ASSERT_EQ(window_->loads().size(), 1U);
  EXPECT_EQ(window_->loads()[0].url, "file:///opt/nb/UI/index.html#/login");
  EXPECT_EQ(window_->loads()[0].acceptLanguage, std::nullopt);
  controller_->reloadwebview();
  EXPECT_EQ(window_->loads().back().acceptLanguage, std::nullopt);
}

TEST_F(LoginWebWindowControllerTest, ResultWaitsForTheLoadAndIsAllStrings) {
  controller_->setInfoArray({"login", "102", "密码错误"});
  EXPECT_TRUE(window_->events().empty());
  window_->finishLoad();
  window_->finishLoad();  // delivered once
  ASSERT_EQ(window_->events().size(), 1U);
  EXPECT_EQ(window_->events()[0].name, "LoginResult");
  EXPECT_EQ(window_->events()[0].detail,
            R"({"type":"login","error":"102","error_description":"密码错误","token":""})");
  EXPECT_FALSE(controller_->infoArray());

  controller_->returnLoginResult({"sdk", "0", "", "t0k\"en"});
  EXPECT_EQ(window_->events()[1].detail,
            R"({"type":"sdk","error":"0","error_description":"","token":"t0k\"en"})");
}

TEST_F(LoginWebWindowControllerTest, CloseAsksAndOnlyTheFirstButtonCloses) {
  window_->show();
  ui_->dialogs().answerNext(1);  // 取消
  EXPECT_FALSE(window_->userClose());
  const auto asked = ui_->dialogs().shown().back();
  EXPECT_EQ(asked.alert.buttons, (std::vector<std::string>{"确定", "取消"}));
  EXPECT_EQ(asked.alert.message, "温馨提示");
  EXPECT_EQ(asked.parent, window_);
  EXPECT_TRUE(exits_.empty());

  ui_->dialogs().answerNext(0);  // 确定
  EXPECT_TRUE(window_->userClose());
  EXPECT_EQ(exits_, (std::vector<int>{0})) << "closed while on screen: the client ends";
  EXPECT_EQ(relay_->dropped, 0);
}

TEST_F(LoginWebWindowControllerTest, ClosedWhileHiddenOnlyLeaves) {
  window_->hide();
  window_->close();
  EXPECT_TRUE(exits_.empty());
  EXPECT_EQ(relay_->dropped, 1);
}

}  // namespace
}  // namespace nb::test
