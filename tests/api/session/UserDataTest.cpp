#include <sys/stat.h>

#include <fstream>

#include <gtest/gtest.h>

#include "api/session/UserData.h"
#include "foundation/json/Json.h"
#include "support/FakeAppState.h"
#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

// Stands in for the folder watcher and records that it was started.
class RecordingWatcher final : public OpenDirectoryhandler {
 public:
  RecordingWatcher(std::string path, int* starts) : OpenDirectoryhandler(std::move(path)), starts_(starts) {}
  void startMonitoring() override { ++*starts_; }

 private:
  int* starts_;
};

class UserDataTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    UserData::Options options;
    options.home = home();
    options.computerid = "computer-1";
    options.watcherFactory = [this](const std::string& path) {
      watchedPath_ = path;
      return std::make_unique<RecordingWatcher>(path, &watcherStarts_);
    };
    user_ = std::make_unique<UserData>(std::move(options));
  }

  static unsigned mode(const fs::path& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
  }

  std::string config() const { return (home() / ".veskocfg").string(); }

  test::ScopedAppState app_;
  std::unique_ptr<UserData> user_;
  std::string watchedPath_;
  int watcherStarts_ = 0;
};

TEST_F(UserDataTest, CreationStartsTheInjectedWatcherAndMakesNoFolder) {
  EXPECT_EQ(watcherStarts_, 1);
  EXPECT_EQ(watchedPath_, (home() / ".veskoopen").string());
  EXPECT_FALSE(fs::exists(config()));
  EXPECT_EQ(user_->expiresTime(), 18000);
  EXPECT_EQ(user_->userID(), 0);
  EXPECT_TRUE(user_->bTransStart());
  EXPECT_FALSE(user_->bShowLaunchpad());
  EXPECT_EQ(user_->getdevice(), "computer-1");
}

TEST_F(UserDataTest, FolderLayoutUnderTheConfigurationFolder) {
  user_->getsetting();
  user_->getconfigpath();
  EXPECT_FALSE(fs::exists(config()));
  user_->setUserID(42);
  const std::string u = config() + "/42";
  struct Case {
    std::string path;
    std::string expected;
    bool created;
  };
  const Case cases[] = {
      {user_->getconfigpath(), config(), true},  // as the parent of U
      {user_->getsetting(), config() + "/vesettings3.db", false},
      {user_->getlocalstorage(), config() + "/velocalstorage3.db", false},
      {user_->getappupdatepath(), config() + "/nubrenupdate.zip", false},
      {user_->tempPath(), config() + "/nbtemp", false},
      {user_->openPath(), (home() / ".veskoopen").string(), false},
      {user_->getmountdb(), u + "/vemountex3.db", false},
      {user_->gettransdb(), u + "/vetransex3.db", false},
      {user_->getMessageDb(), u + "/vemessage3.db", false},
      {user_->getcache(), u + "/cache", true},  // as the parent of cache/temp
      {user_->getranscache(), u + "/transcache", false},
      {user_->getDecryptPath(), u + "/temppath", false},
      {user_->getcachetemp(), u + "/cache/temp", true},
      {user_->getscreenshotpath(), u + "/screenshot", true},
      {user_->getoldversionpath(), u + "/old_version", true},
      {user_->getuserfolderpath(), u, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.path, c.expected);
    EXPECT_EQ(fs::is_directory(c.path), c.created) << c.path;
    if (c.created) {
      EXPECT_EQ(mode(c.path), 0700u) << c.path;
    }
  }
  EXPECT_EQ(mode(config()), 0700u);
}

TEST_F(UserDataTest, ExitClearsTheSignInAndKeepsTheRest) {
  user_->setUserToken("t");
  user_->setRefreshToken("r");
  user_->setExpiresTime(60);
  user_->setUserID(7);
  user_->setUserEmail("e");
  user_->setUserWebName("n");
  user_->setUserPhone("p");
  user_->setUserPhoto("ph");
  user_->setJsonUserinfo("{}");
  user_->setBTransStart(false);
  user_->setBShowLaunchpad(true);
  user_->setStrMemberAccount("member");
  user_->setStrServerHost("host");
  user_->setDevicename("desk");
  user_->setDevicestatus(true);
  user_->setUllDateline(99);
  user_->setignore("tmp");

  user_->exit();

  EXPECT_EQ(user_->userToken(), "");
  EXPECT_EQ(user_->refreshToken(), "");
  EXPECT_EQ(user_->expiresTime(), 18000);
  EXPECT_EQ(user_->userID(), 0);
  EXPECT_EQ(user_->userEmail() + user_->userWebName() + user_->userPhone() +
                user_->userPhoto() + user_->jsonUserinfo(),
            "");
  EXPECT_TRUE(user_->bTransStart());
  EXPECT_FALSE(user_->bShowLaunchpad());
  EXPECT_EQ(user_->strMemberAccount(), "member");
  EXPECT_EQ(user_->strServerHost(), "host");
  EXPECT_EQ(user_->devicename(), "desk");
  EXPECT_TRUE(user_->devicestatus());
  EXPECT_EQ(user_->ullDateline(), 99u);
  EXPECT_TRUE(user_->checkignore("a.tmp"));
  EXPECT_EQ(user_->getuserfolderpath(), config() + "/0");
  EXPECT_TRUE(fs::is_directory(config() + "/0"));
}

TEST_F(UserDataTest, IgnoreListMatchesExtensionsWithoutCase) {
  struct Case {
    const char* list;
    const char* name;
    bool ignored;
  };
  const Case cases[] = {
      {"tmp", "a.tmp", true},        {"tmp", "A.TMP", true},       {"tmp", "tmp", false},
      {"tmp", "atmp", false},        {"", "a.tmp", false},         {";;", "a.", false},
      {"TMP", "a.tmp", true},        {"bak;tmp", "x.bak", true},   {"bak;;tmp", "x.tmp", true},
      {"tar.gz", "x.tar.gz", true},  {"tar.gz", "x.gz", false},    {"tmp", "a.tmp.txt", false},
      {" tmp", "a.tmp", false},
  };
  for (const Case& c : cases) {
    user_->setignore(c.list);
    EXPECT_EQ(user_->checkignore(c.name), c.ignored) << c.list << " / " << c.name;
  }
}

TEST_F(UserDataTest, ClearsDeleteOnlyStrictlyInsideTheirFolder) {
  const std::string cache = user_->getranscache();
  const std::string decrypt = user_->getDecryptPath();
  fs::create_directories(cache + "/sub");
  fs::create_directories(decrypt);
  fs::create_directories(cache + "x");
  std::ofstream(cache + "/upload_1") << "x";
  std::ofstream(cache + "x/victim") << "x";
  std::ofstream(decrypt + "/file_abc") << "x";
  const std::string outside = user_->getmountdb();
  std::ofstream(outside) << "x";

  struct Case {
    std::string path;
    bool cleared;
  };
  const Case cases[] = {
      {cache, false},                      // the folder itself
      {cache + "/", false},                // nothing after the slash
      {cache + "x/victim", false},         // a sibling that shares the prefix
      {cache + "/../vemountex3.db", false},
      {cache + "/sub/../../vemountex3.db", false},
      {"", false},
      {cache + "/upload_1", true},
      {cache + "/sub", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(user_->ClearTransCachePath(c.path), c.cleared) << c.path;
  }
  EXPECT_TRUE(fs::exists(cache + "x/victim"));
  EXPECT_TRUE(fs::exists(outside));
  EXPECT_TRUE(fs::is_directory(cache));
  EXPECT_FALSE(fs::exists(cache + "/upload_1"));

  EXPECT_FALSE(user_->ClearDecryptPath(cache + "/x"));
  EXPECT_FALSE(user_->ClearDecryptPath(decrypt + "/../vemountex3.db"));
  EXPECT_TRUE(user_->ClearDecryptPath(decrypt + "/file_abc"));
  EXPECT_TRUE(fs::exists(outside));
}

TEST_F(UserDataTest, DeletingTheUserFolderKeepsTheConfigurationFolder) {
  user_->setUserID(5);
  std::ofstream(user_->getmountdb()) << "x";
  std::ofstream(user_->getsetting()) << "x";
  EXPECT_TRUE(user_->deleteUserFolder());
  EXPECT_FALSE(fs::exists(config() + "/5"));
  EXPECT_TRUE(fs::exists(user_->getsetting()));
  EXPECT_FALSE(user_->deleteUserFolder());
}

TEST_F(UserDataTest, DeviceInfoCarriesTheFourMembers) {
  const auto info = objectFromJSONString(user_->getinfo());
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ((*info)["CLIENT_ID"].asString(), "Tz7hWm3RnB9wFq1MvX5cLd2PsJe");
  EXPECT_FALSE((*info)["DISPLAY"].asString().empty());
  EXPECT_EQ((*info)["DISPLAY"].asString(), user_->devicename());
  EXPECT_EQ((*info)["VERSION"].asString(), user_->getversion());
  EXPECT_EQ((*info)["BRAND"].asString(), user_->getcomputertype());

  user_->setDevicename("My desk");
  EXPECT_EQ((*objectFromJSONString(user_->getinfo()))["DISPLAY"].asString(), "My desk");
}

TEST(UserDataComputerType, QuotedModelOrWholeName) {
  struct Case {
    const char* name;
    const char* type;
  };
  const Case cases[] = {
      {"Ann's \u201CWorkstation\u201D", "Workstation"},
      {"plain-host", "plain-host"},
      {"a \u201Cx\u201D b \u201Cmodel\u201D", "model"},
      {"\u201C", ""},
      {"\u201Cab", "a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UserData::computerTypeFrom(c.name), c.type) << c.name;
  }
}

TEST_F(UserDataTest, PathsFromTheServerConfiguration) {
  EXPECT_EQ(user_->getnormalsyncpath(), home().string() + "/NubrenVesko");
}

}  // namespace
}  // namespace nb
