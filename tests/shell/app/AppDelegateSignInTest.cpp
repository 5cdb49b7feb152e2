// The automatic sign-in's guards, the re-open and quit paths, and the
// network monitor's hand-over, without a network or windows.

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "api/session/UserData.h"
#include "shell/app/AppDelegate.h"
#include "shell/app/Reachability.h"
#include "shell/windows/AppWindows.h"

namespace nb {
namespace {

TEST(AppDelegateSignInTest, ASecondAutomaticSignInReturnsAtOnce) {
  AppDelegate app;
  app.setBLogining(true);
  app.loginByAuto();
  EXPECT_FALSE(app.bLogin());
  EXPECT_TRUE(app.bLogining());  // the running one still owns the flag
}

TEST(AppDelegateSignInTest, AReconnectWithoutARefreshTokenStopsSigningInByItself) {
  UserData::shareUserData().setRefreshToken("");
  AppDelegate app;
  app.setBAutoLogin(true);
  app.setLinkStatus(true);
  EXPECT_FALSE(app.bAutoLogin());
  EXPECT_TRUE(app.bLinkNetwork());
  app.setLinkStatus(false);
  EXPECT_FALSE(app.bLinkNetwork());
}

}  // namespace
}  // namespace nb

namespace nb {
namespace {

// Counts what the application state asks of the windows; makes none.
class CountingWindows final : public AppWindows {
 public:
  std::shared_ptr<LoginWebWindowController> loginWindow(bool create) override {
    if (create) ++loginsMade;
    return nullptr;
  }
  std::shared_ptr<LaunchpadWindowController> mainWindow(bool create) override {
    if (create) ++mainsMade;
    return nullptr;
  }
  std::vector<std::shared_ptr<BrowserWebWindowController>> browserWindows() override { return {}; }
  void askQuit(bool, bool, std::int64_t, const std::function<void()>& quit) override {
    ++questions;
    quit();
  }
  int loginsMade = 0;
  int mainsMade = 0;
  int questions = 0;
};

class AppDelegateWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { setAppWindows(windows_); }
  void TearDown() override { setAppWindows(nullptr); }
  std::shared_ptr<CountingWindows> windows_ = std::make_shared<CountingWindows>();
};

TEST_F(AppDelegateWindowsTest, AReopenCountsOnlyOnceStartUpAllowsIt) {
  AppDelegate app;
  app.applicationShouldHandleReopen();
  EXPECT_EQ(windows_->loginsMade + windows_->mainsMade, 0);
  app.setBShouldHandleReopen(true);
  app.applicationShouldHandleReopen();
  EXPECT_EQ(windows_->loginsMade, 1);
  app.setBLoginFinish(true);
  app.applicationShouldHandleReopen();
  EXPECT_EQ(windows_->mainsMade, 1);
}

TEST_F(AppDelegateWindowsTest, QuitAsksThePagesThenEnds) {
  int terminated = 0;
  AppDelegate::Options options;
  options.terminate = [&terminated] { ++terminated; };
  auto app = std::make_shared<AppDelegate>(options);
  app->onMenuQuitAppClicked();
  EXPECT_EQ(windows_->questions, 1);
  EXPECT_EQ(terminated, 1);
  EXPECT_TRUE(app->bOut());
}

TEST(ReachabilityTest, ActionsRunOnTheMonitorsWorker) {
  auto monitor = Reachability::reachabilityWithHostname("passport.test");
  ASSERT_TRUE(monitor);
  EXPECT_FALSE(Reachability::reachabilityWithHostname(""));
  std::promise<std::thread::id> ran;
  monitor->setReachableBlock([&ran] { ran.set_value(std::this_thread::get_id()); });
  ASSERT_TRUE(monitor->startNotifier());
  monitor->reachabilityChanged(false);  // no unreachable action: skipped
  monitor->reachabilityChanged(true);
  auto future = ran.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_NE(future.get(), std::this_thread::get_id());
  monitor->stopNotifier();
}

}  // namespace
}  // namespace nb
