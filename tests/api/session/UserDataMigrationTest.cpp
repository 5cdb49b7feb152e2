#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "api/session/TestUserData.h"
#include "api/session/UserData.h"
#include "stores/syncdb/Syncdb.h"
#include "support/FakeAppState.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

// The shell's sign-in check as the shell runs it: migrate (on a task thread)
// while U holds the old catalogue, else start the session.
class ShellCheck final : public test::FakeAppState {
 public:
  explicit ShellCheck(UserData& user) : user_(user) {}
  ~ShellCheck() override { joinTasks(); }
  // A task may hold the last reference to this object through
  // getAppDelegate(); join from the test thread before letting go of it, so
  // the destructor never runs on (and joins) the task thread itself.
  void joinTasks() {
    for (auto& t : tasks_) {
      if (t.joinable()) t.join();
    }
  }
  void checkBySqlToLogin() override {
    FakeAppState::checkBySqlToLogin();
    if (!user_.hasOldVersion()) {
      ++sessionStarts;
      return;
    }
    ++migrations;
    setBSqlite2To3(true);
    tasks_.emplace_back([this] { user_.changeOldVersion(); });
  }
  std::atomic<int> migrations{0};
  std::atomic<int> sessionStarts{0};

 private:
  UserData& user_;
  std::vector<std::thread> tasks_;
};

class UserDataMigrationTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    user_ = test::makeTestUserData(home());
    user_->setUserID(7);
    user = fs::path(user_->getuserfolderpath());
    config = fs::path(user_->getconfigpath());
    UserData::setSessionHooks(
        {.clearuserinfo = {}, .reloadAccountSettings = {},
         .update2to3 = [this](const std::string& from, const std::string& to) {
           converted.push_back(from);
           return Syncdb::update2to3(from, to);
         }});
    app = std::make_shared<ShellCheck>(*user_);
    setAppDelegate(app);
    test::pumpMainThread();
  }
  void TearDown() override {
    app->joinTasks();
    setAppDelegate(nullptr);
    app.reset();
    UserData::setSessionHooks({});
    TempHome::TearDown();
  }

  static void put(const fs::path& path, const std::string& text = "x") {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }
  static std::string read(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::unique_ptr<UserData> user_;
  std::shared_ptr<ShellCheck> app;
  fs::path user, config;
  std::vector<std::string> converted;
};

TEST_F(UserDataMigrationTest, MigratesOnceThenStartsTheSession) {
  put(user / "vemountex.db", "catalogue");
  put(user / "vemsg.db");
  put(user / "vetransex.db", "transfers");
  for (const char* name : {"vemountex.db_old", "vemsg.db_old", "vetransex.db_old"}) put(user / name);
  put(user / "5" / "vesyncdbex.db_old");
  put(user / "5" / "vesyncdbex.db", "not a database");
  put(user / "5" / "vetransex.db", "old");
  put(user / "5" / "vetransex3.db", "new");
  put(user / "5" / "notes.txt");
  put(user / "cache" / "vemountex.db");
  put(user / "5" / "transcache" / "vemsg.db");
  put(user / "screenshot" / "vetransex.db");
  put(user / ".hidden" / "vemsg.db");
  put(user / ".vemsg.db");
  // Left behind by an earlier, interrupted run: replaced, never in the way.
  put(user / "old_version" / "vemountex.db", "stale");
  put(user / "old_version" / "9" / "vesyncdbex.db", "stale");
  put(config / "vesettings.db");
  put(config / "velocalstorage.db");
  put(config / "vesettings3.db");

  app->checkBySqlToLogin();
  ASSERT_TRUE(test::pumpMainThreadUntil([&] { return app->sessionStarts > 0; }));
  test::pumpMainThread();

  EXPECT_EQ(app->migrations, 1);
  EXPECT_EQ(app->sessionStarts, 1);
  EXPECT_EQ(app->count("checkBySqlToLogin"), 2u);
  const std::vector<test::FakeAppState::Call> flags{{"setBSqlite2To3", "1"}, {"setBSqlite2To3", "0"}};
  std::vector<test::FakeAppState::Call> seen;
  for (const auto& call : app->calls()) {
    if (call.name == "setBSqlite2To3") seen.push_back(call);
  }
  EXPECT_EQ(seen, flags);

  const fs::path old = user / "old_version";
  EXPECT_EQ(read(old / "vemountex.db"), "catalogue");
  EXPECT_TRUE(fs::exists(old / "vemsg.db"));
  EXPECT_EQ(read(old / "vetransex.db"), "transfers");
  EXPECT_TRUE(fs::exists(old / "5" / "vesyncdbex.db"));
  EXPECT_EQ(read(old / "5" / "vetransex.db"), "old");
  EXPECT_EQ(read(old / "9" / "vesyncdbex.db"), "stale");  // never walked again
  EXPECT_EQ(converted, std::vector<std::string>{(user / "5" / "vesyncdbex.db").string()});

  EXPECT_FALSE(fs::exists(user / "vemountex.db"));
  EXPECT_EQ(read(user / "vetransex3.db"), "transfers");
  EXPECT_EQ(read(user / "5" / "vetransex3.db"), "new");
  EXPECT_TRUE(fs::exists(user / "5" / "vesyncdbex3.db"));
  EXPECT_TRUE(fs::exists(user / "5" / "notes.txt"));
  for (const char* name : {"vemountex.db_old", "vemsg.db_old", "vetransex.db_old"}) {
    EXPECT_FALSE(fs::exists(user / name)) << name;
  }
  EXPECT_FALSE(fs::exists(user / "5" / "vesyncdbex.db_old"));
  EXPECT_TRUE(fs::exists(user / "cache" / "vemountex.db"));
  EXPECT_TRUE(fs::exists(user / "5" / "transcache" / "vemsg.db"));
  EXPECT_TRUE(fs::exists(user / "screenshot" / "vetransex.db"));
  EXPECT_TRUE(fs::exists(user / ".hidden" / "vemsg.db"));
  EXPECT_TRUE(fs::exists(user / ".vemsg.db"));
  EXPECT_FALSE(fs::exists(config / "vesettings.db"));
  EXPECT_FALSE(fs::exists(config / "velocalstorage.db"));
  EXPECT_TRUE(fs::exists(config / "vesettings3.db"));
}

// A sync store that was not converted is the only copy of its library's
// sync state: it must stay where the next attempt finds it, never be moved
// into a folder nothing reads. The rest of the migration goes on.
TEST_F(UserDataMigrationTest, AnUnconvertedSyncStoreStaysInPlace) {
  struct Case {
    const char* name;
    bool wired;
    bool blockNewStore;  // the new store's name leads into a missing folder
  };
  const Case cases[] = {
      {"no conversion registered", false, false},
      {"the new store cannot be made", true, true},
  };
  const SessionHooks wired = UserData::sessionHooks();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(user);
    fs::create_directories(user);
    UserData::setSessionHooks(c.wired ? wired : SessionHooks{});
    put(user / "vemountex.db", "catalogue");
    put(user / "5" / "vesyncdbex.db", "old sync state");
    if (c.blockNewStore) {
      fs::create_symlink(root() / "missing" / "x.db", user / "5" / "vesyncdbex3.db");
    }

    std::vector<std::string> files;
    user_->findFileByPath(user.string(), files);
    EXPECT_EQ(files, std::vector<std::string>{(user / "vemountex.db").string()});

    const auto starts = app->sessionStarts.load();
    app->checkBySqlToLogin();
    ASSERT_TRUE(test::pumpMainThreadUntil([&] { return app->sessionStarts > starts; }));
    EXPECT_EQ(read(user / "5" / "vesyncdbex.db"), "old sync state");
    EXPECT_FALSE(fs::exists(user / "old_version" / "5" / "vesyncdbex.db"));
    EXPECT_TRUE(fs::exists(user / "old_version" / "vemountex.db"));
  }
}

TEST_F(UserDataMigrationTest, WithoutOldCatalogueTheSessionStartsAtOnce) {
  put(user / "vemsg.db");
  app->checkBySqlToLogin();
  EXPECT_EQ(app->migrations, 0);
  EXPECT_EQ(app->sessionStarts, 1);
  EXPECT_TRUE(fs::exists(user / "vemsg.db"));
}

}  // namespace
}  // namespace nb
