// The old-layout migration queued at sign-in, then the session start.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/session/UserData.h"
#include "platform/OperationQueue.h"
#include "shell/tasks/CheckOldVersion.h"
#include "support/FakeAppState.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

// The sign-in check as the shell wires it: the migration while the older
// catalogue is there, else the session starts.
class SignInCheck final : public test::FakeAppState {
 public:
  void checkBySqlToLogin() override {
    FakeAppState::checkBySqlToLogin();
    if (UserData::shareUserData().hasOldVersion()) {
      ++migrations;
      setBSqlite2To3(true);
      queueCheckOldVersion();
    } else {
      ++sessionStarts;
    }
  }
  std::atomic<int> migrations{0};
  std::atomic<int> sessionStarts{0};
};

class CheckOldVersionTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    test::pumpMainThread();
    UserData::shareUserData().setUserID(4242);
    user_ = UserData::shareUserData().getuserfolderpath();
    setAppDelegate(app_);
  }
  void TearDown() override {
    app_->taskQueue()->waitUntilAllOperationsAreFinished();
    test::pumpMainThread();
    setAppDelegate(nullptr);
    fs::remove_all(user_);
    TempHome::TearDown();
  }
  std::shared_ptr<SignInCheck> app_ = std::make_shared<SignInCheck>();
  fs::path user_;
};

TEST_F(CheckOldVersionTest, PlantedOldCatalogueMigratesThenTheSessionStarts) {
  std::ofstream(user_ / "vemountex.db") << "older catalogue";
  app_->checkBySqlToLogin();
  ASSERT_TRUE(test::pumpMainThreadUntil([&] { return app_->sessionStarts == 1; }));
  EXPECT_EQ(app_->migrations, 1);
  EXPECT_FALSE(fs::exists(user_ / "vemountex.db"));
  EXPECT_TRUE(fs::exists(user_ / "old_version" / "vemountex.db"));
  std::vector<std::string> flags;
  for (const auto& call : app_->calls()) {
    if (call.name == "setBSqlite2To3") flags.push_back(call.argument);
  }
  EXPECT_EQ(flags, (std::vector<std::string>{"1", "0"}));
}

TEST_F(CheckOldVersionTest, WithoutTheOldCatalogueTheSessionStartsAtOnce) {
  app_->checkBySqlToLogin();
  EXPECT_EQ(app_->sessionStarts, 1);
  EXPECT_EQ(app_->migrations, 0);
}

}  // namespace
}  // namespace nb
