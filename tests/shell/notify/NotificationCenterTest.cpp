// Notifications: what is shown, the limit on old systems, and where clicks
// go.

#include <gtest/gtest.h>

#include <thread>

#include "api/server/ServerInfo.h"
#include "foundation/json/Json.h"
#include "shell/notify/NotificationCenter.h"
#include "support/FakeAppState.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

class NotificationCenterTest : public ::testing::Test {
 protected:
  void SetUp() override { pumpMainThread(); }

  std::unique_ptr<NotificationCenter> make(const std::string& version) {
    auto center = std::make_unique<NotificationCenter>(NotificationCenter::Options{version});
    NotificationCenter::ClickActions actions;
    actions.openUpdate = [this] { clicks_.push_back("update"); };
    actions.restartClient = [this] { clicks_.push_back("restart"); };
    actions.onMenuOpenNubrenClicked = [this] { clicks_.push_back("open"); };
    actions.showMessageForLaunchpad = [this](const std::string& json) {
      clicks_.push_back("show " + json);
    };
    center->setClickActions(std::move(actions));
    center->setScheduleGrowlUserNotification();
    return center;
  }

  // Requests `count` notifications from a worker thread and lets the main
  // thread show them.
  void notifyFromWorker(NotificationCenter& center, int count) {
    std::thread worker([&] {
      for (int i = 0; i < count; ++i) center.setGrowlNotificationDescripation("n", std::nullopt);
    });
    worker.join();
    pumpMainThread();
  }

  ScopedAppState app_;
  ScopedFakeUi ui_;
  std::vector<std::string> clicks_;
};

TEST_F(NotificationCenterTest, ShowsTheDescriptionUnderTheTitle) {
  auto center = make("12");
  center->setGrowlNotificationDescripation("上传完成", std::string("resetapp"));
  EXPECT_TRUE(ui_->notifier().shown().empty()) << "shown on the main thread, later";
  pumpMainThread();
  ASSERT_EQ(ui_->notifier().shown().size(), 1U);
  const ui::Notification& shown = ui_->notifier().shown()[0];
  EXPECT_EQ(shown.body, "上传完成");
  EXPECT_FALSE(shown.title.empty());
  EXPECT_EQ(shown.context, "resetapp");

  auto info = std::make_shared<ServerInfo>();
  info->setStrTitleName("Acme Drive");
  app_->setServerInfo(info);
  center->setGrowlNotificationDescripation("x", std::nullopt);
  pumpMainThread();
  EXPECT_EQ(ui_->notifier().shown().back().title, "Acme Drive");
}

TEST_F(NotificationCenterTest, OldSystemsKeepAtMostFiveOutstanding) {
  auto center = make("10.10.5");  // older than "10.8.0" as text
  ASSERT_TRUE(center->status());
  notifyFromWorker(*center, 6);
  EXPECT_EQ(ui_->notifier().shown().size(), 5U) << "the sixth is dropped";
  ui_->notifier().click(0);
  notifyFromWorker(*center, 2);
  EXPECT_EQ(ui_->notifier().shown().size(), 6U) << "one click frees one place";
  ui_->notifier().timeOut(1);
  notifyFromWorker(*center, 1);
  EXPECT_EQ(ui_->notifier().shown().size(), 7U) << "so does a time-out";
  EXPECT_EQ(center->countNum(), 5);
}

TEST_F(NotificationCenterTest, NewerSystemsHaveNoLimit) {
  for (const char* version : {"10.9.5", "12", "11.0"}) {
    SCOPED_TRACE(version);
    auto center = make(version);
    EXPECT_FALSE(center->status());
    const std::size_t before = ui_->notifier().shown().size();
    notifyFromWorker(*center, 8);
    EXPECT_EQ(ui_->notifier().shown().size(), before + 8);
  }
}

TEST_F(NotificationCenterTest, UnshownNotificationsAreNotCounted) {
  auto center = make("10.7.5");
  ui_->notifier().setAvailable(false);
  notifyFromWorker(*center, 7);
  EXPECT_EQ(center->countNum(), 0);
  ui_->notifier().setAvailable(true);
  notifyFromWorker(*center, 5);
  EXPECT_EQ(center->countNum(), 5);
}

TEST_F(NotificationCenterTest, ClickGoesToItsContext) {
  struct Case {
    std::optional<std::string> context;
    std::vector<std::string> clicks;
  };
  const std::vector<Case> cases = {
      {"appupdate", {"update"}},
      {"resetapp", {"restart"}},
      {R"({"type":"msg","id":7})", {"open", R"(show {"type":"msg","id":7})"}},
      {"", {}},
      {std::nullopt, {}},
  };
  auto center = make("12");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].context.value_or("(none)"));
    clicks_.clear();
    center->setGrowlNotificationDescripation("n", cases[i].context);
    pumpMainThread();
    ui_->notifier().click(i);
    EXPECT_EQ(clicks_, cases[i].clicks);
  }
}

TEST(NotificationCenterVersionTest, ReadsVersionIdOfOsRelease) {
  EXPECT_EQ(systemVersionFromOsRelease("NAME=\"Debian\"\nVERSION_ID=\"12\"\nID=debian\n"), "12");
  EXPECT_EQ(systemVersionFromOsRelease("VERSION_ID=10.8.1\n"), "10.8.1");
  EXPECT_EQ(systemVersionFromOsRelease("ID=arch\n"), "");
}

TEST(NotificationCenterRegistrationTest, NamesTheOneNotification) {
  const JsonValue dictionary = NotificationCenter::registrationDictionaryForGrowl();
  EXPECT_EQ(dictionary["ApplicationName"].asString(), "nubren");
  EXPECT_EQ(dictionary["AllNotifications"][0].asString(), "FireWire Device Disconnected");
  EXPECT_EQ(dictionary["DefaultNotifications"].size(), 1U);
  EXPECT_NE(dictionary["HumanReadableNames"].find("FireWire Device Disconnected"), nullptr);
}

}  // namespace
}  // namespace nb::test
