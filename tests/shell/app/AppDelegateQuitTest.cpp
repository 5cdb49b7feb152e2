// Log-out, relaunch and the agent text of the application state.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "api/session/UserData.h"
#include "shell/app/AppDelegate.h"
#include "shell/app/UserAgent.h"
#include "stores/settings/SettingsDb.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class AppDelegateQuitTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    AppDelegate::Options options;
    options.programPath = "/opt/nubren/bin/nubren";
    options.spawn = [this](const std::vector<std::string>& argv) {
      spawned_.push_back(argv);
      return true;
    };
    options.terminate = [this] { ++terminated_; };
    options.logoutQuestion = [this] { return answer_; };
    app_ = std::make_shared<AppDelegate>(options);
    UserData& user = UserData::shareUserData();
    user.setUserID(42);
    // The shared stores may sit in an earlier test's folder: this test's own.
    user.getuserfolderpath();
    SettingsDb::shareSettingDb().initpath(user.getsetting());
    userFolder_ = fs::path(user.configPath()) / "42";
    // The favourites folder links to a synced folder outside the user folder.
    synced_ = root() / "Synced";
    fs::create_directories(synced_);
    std::ofstream(synced_ / "keep.txt") << "mine";
    fs::create_directories(userFolder_ / "Favourites");
    fs::create_directory_symlink(synced_, userFolder_ / "Favourites/Synced");
    SettingsDb::shareSettingDb().setScreenPassword(42, "secret");
  }
  void TearDown() override {
    UserData::shareUserData().setUserID(0);
    std::error_code ignored;
    fs::remove_all(userFolder_, ignored);
    TempHome::TearDown();
  }

  std::shared_ptr<AppDelegate> app_;
  std::vector<std::vector<std::string>> spawned_;
  int terminated_ = 0;
  int answer_ = 1002;
  fs::path userFolder_;
  fs::path synced_;
};

TEST_F(AppDelegateQuitTest, DeleteRemovesTheUserFolderButNeverFollowsItsLinks) {
  answer_ = AppDelegate::kLogoutDelete;
  app_->onBtnLogoutClicked();
  EXPECT_FALSE(fs::exists(userFolder_));
  EXPECT_TRUE(fs::exists(synced_ / "keep.txt"));
  EXPECT_EQ(SettingsDb::shareSettingDb().getScreenPassword(42), "");
  ASSERT_EQ(spawned_.size(), 1u);
  EXPECT_EQ(spawned_[0], (std::vector<std::string>{"/opt/nubren/bin/nubren", "--relaunch"}));
  EXPECT_EQ(terminated_, 1);
  EXPECT_TRUE(app_->bOut());
}

TEST_F(AppDelegateQuitTest, KeepClearsTheSignInOnlyAndCancelChangesNothing) {
  answer_ = 1002;
  app_->onBtnLogoutClicked();
  EXPECT_TRUE(spawned_.empty());
  EXPECT_EQ(terminated_, 0);
  EXPECT_EQ(SettingsDb::shareSettingDb().getScreenPassword(42), "secret");

  answer_ = AppDelegate::kLogoutKeep;
  app_->onBtnLogoutClicked();
  EXPECT_TRUE(fs::exists(userFolder_ / "Favourites"));
  EXPECT_EQ(SettingsDb::shareSettingDb().getScreenPassword(42), "");
  EXPECT_EQ(SettingsDb::shareSettingDb().getuserinfo().userid, -1);
  EXPECT_EQ(spawned_.size(), 1u);
  EXPECT_EQ(terminated_, 1);
}

TEST_F(AppDelegateQuitTest, NoRealUserMeansNoFolderIsDeleted) {
  UserData::shareUserData().setUserID(0);
  app_->logoff(false);
  EXPECT_TRUE(fs::exists(userFolder_ / "Favourites"));
  EXPECT_EQ(terminated_, 1);
}

TEST(UserAgentTest, NamesTheSourceOnlyWhenThereIsOne) {
  EXPECT_EQ(userAgentFor("3.1.0", "12", ""), "NB_SYNC;3.1.0;Mac;12");
  EXPECT_EQ(userAgentFor("3.1.0", "12", "acme"), "NB_SYNC;3.1.0;Mac;12;SOURCE/acme");
}

}  // namespace
}  // namespace nb
