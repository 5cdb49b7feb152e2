#include "stores/settings/SettingsDb.h"

#include <sys/stat.h>

#include <filesystem>

#include "api/session/UserData.h"
#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class SettingsDbTest : public test::TempHome {
 protected:
  std::string path() const { return (home() / ".veskocfg/vesettings3.db").string(); }

  // Runs one statement on the file behind the store's back.
  int64_t scalar(const std::string& sql) {
    FMDatabase db(path());
    EXPECT_TRUE(db.open());
    return longForQuery(db, sql);
  }
  void exec(const std::string& sql) {
    FMDatabase db(path());
    ASSERT_TRUE(db.open());
    ASSERT_TRUE(db.executeUpdate(sql)) << sql;
  }
};

TEST_F(SettingsDbTest, FirstOpenSeedsDefaults) {
  SettingsDb store(path());
  const auto info = store.getSettingInfo();
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->autorun && info->prompt && info->local && info->recycle && info->msg &&
              info->msgsound && info->clickreadonly);
  EXPECT_FALSE(info->https);
  EXPECT_FALSE(info->proxy);
  EXPECT_EQ(info->language, 1);
  EXPECT_EQ(info->nUploadMax, 5);
  EXPECT_EQ(info->nDownloadMax, 5);
  EXPECT_EQ(store.getHotKey(), std::nullopt);
  EXPECT_EQ(store.getLogLevel(), 0);
  EXPECT_TRUE(store.getblacktray());
  EXPECT_EQ(store.getuserinfo().userid, -1);
  EXPECT_EQ(store.getuserinfo().refreshtoken, "");
  EXPECT_EQ(store.getuserinfo().device, std::nullopt);
}

TEST_F(SettingsDbTest, SharedStoreLivesOnTheSessionsSettingsFile) {
  SettingsDb& shared = SettingsDb::shareSettingDb();
  EXPECT_EQ(&shared, &SettingsDb::shareSettingDb());
  EXPECT_EQ(shared.strFilePath(), UserData::shareUserData().getsetting());
  EXPECT_TRUE(fs::exists(shared.strFilePath()));
}

TEST_F(SettingsDbTest, FileIsOwnerOnlyInAnOwnerOnlyFolder) {
  SettingsDb store(path());
  store.sethttps(true);
  struct stat st {};
  ASSERT_EQ(::stat(path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(fs::path(path()).parent_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(SettingsDbTest, ReopenAddsNoSecondSeedAndKeepsValues) {
  {
    SettingsDb store(path());
    store.setmsg(false);
    store.setUploadMax(9);
  }
  SettingsDb again(path());
  EXPECT_EQ(scalar("select count(*) from settings"), 1);
  EXPECT_FALSE(again.getmsg());
  EXPECT_EQ(again.getUploadMax(), 9);
}

TEST_F(SettingsDbTest, MissingRowAnswersTheFallbacksNotTheSeed) {
  SettingsDb store(path());
  exec("delete from settings");
  EXPECT_EQ(store.getSettingInfo(), std::nullopt);
  const struct {
    const char* name;
    bool value;
    bool expected;
  } flags[] = {
      {"autorun", store.getautorun(), true},   {"prompt", store.getprompt(), true},
      {"local", store.getlocal(), true},       {"https", store.gethttps(), true},
      {"blacktray", store.getblacktray(), true}, {"recycle", store.getdelete2recyclebin(), true},
      {"proxy", store.getproxy(), false},      {"msg", store.getmsg(), false},
      {"msgsound", store.getmsgsound(), false}, {"log", store.getLog(), false},
      {"clickreadonly", store.getclickreadonly(), false},
  };
  for (const auto& f : flags) {
    EXPECT_EQ(f.value, f.expected) << f.name;
  }
  EXPECT_EQ(store.getlanguage(), 1);
  EXPECT_EQ(store.getLogLevel(), 1);
  EXPECT_EQ(store.getUploadMax(), 5);
  EXPECT_EQ(store.getDownloadMax(), 5);
  EXPECT_EQ(store.getHotKey(), std::optional<std::string>(""));
}

TEST_F(SettingsDbTest, SettersWriteTheirOwnColumn) {
  SettingsDb store(path());
  store.sethttps(true);
  store.setproxy(true);
  store.setdelete2recyclebin(false);
  store.setlanguage(3);
  store.setHotKey("Ctrl+Alt+'N'");
  store.setLog(true);
  store.setLogLevel(4);
  store.setDownloadMax(2);
  store.setclickreadonly(false);
  const auto info = store.getSettingInfo();
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->https && info->proxy);
  EXPECT_FALSE(info->recycle || info->clickreadonly);
  EXPECT_EQ(info->language, 3);
  EXPECT_EQ(info->nDownloadMax, 2);
  EXPECT_EQ(store.getHotKey(), std::optional<std::string>("Ctrl+Alt+'N'"));
  EXPECT_TRUE(store.getLog());
  EXPECT_EQ(store.getLogLevel(), 4);
  EXPECT_EQ(scalar("select typeof(downloadmax) = 'integer' from settings"), 1);
}

TEST_F(SettingsDbTest, AutorunFollowsTheAutostartEntry) {
  SettingsDb store(path());
  const fs::path entry = home() / ".config/autostart/nubren.desktop";
  store.setautorun(true);
  EXPECT_TRUE(fs::exists(entry));
  EXPECT_TRUE(store.getautorun());
  store.setautorun(false);
  EXPECT_FALSE(fs::exists(entry));
  EXPECT_FALSE(store.getautorun());
}

TEST_F(SettingsDbTest, SavedSignInIsReplacedAndKeepsApostrophes) {
  SettingsDb store(path());
  store.setuserinfo({7, "r1", "dev", "{}", "t1", ""});
  const UserInfo second{3'000'000'000, "r2", "Ann's Mac", R"({"name":"O'Neil"})", "t2",
                        "https://h.example"};
  store.setuserinfo(second);
  EXPECT_EQ(scalar("select count(*) from userinfo"), 1);
  const UserInfo read = store.getuserinfo();
  EXPECT_EQ(read.userid, 3'000'000'000);  // member ids above 32 bits survive
  EXPECT_EQ(read.refreshtoken, "r2");
  EXPECT_EQ(read.device, "Ann's Mac");
  EXPECT_EQ(read.userinfo, R"({"name":"O'Neil"})");
  EXPECT_EQ(read.token, "t2");
  EXPECT_EQ(read.serverhost, "https://h.example");

  store.clear_userinfo();
  EXPECT_EQ(store.getuserinfo().userid, -1);
  store.setuserinfo(second);
  store.clearuserinfo();
  EXPECT_EQ(store.getuserinfo().userid, -1);
}

TEST_F(SettingsDbTest, ScreenLockRows) {
  SettingsDb store(path());
  store.setLockStatus(5, true);
  EXPECT_EQ(store.getScreenPassword(5), "");
  EXPECT_TRUE(store.getLockStatus(5));
  store.setScreenPassword(5, "ab'cd");
  EXPECT_EQ(store.getScreenPassword(5), "ab'cd");
  EXPECT_TRUE(store.getLockStatus(5));

  store.setScreenPassword(6, "pw");
  EXPECT_FALSE(store.getLockStatus(6));  // NULL state reads as no
  EXPECT_EQ(scalar("select count(*) from Screen"), 2);

  store.deleteScreenPassword(5);
  EXPECT_FALSE(store.getLockStatus(5));
  EXPECT_EQ(store.getScreenPassword(5), "");
  EXPECT_EQ(store.getScreenPassword(6), "pw");
}

TEST_F(SettingsDbTest, OldLayoutGainsColumnsWithBackFilledValues) {
  fs::create_directories(fs::path(path()).parent_path());
  exec("CREATE TABLE userinfo(userid int,refreshtoken char[100],device char[100],"
       "userinfo char[4000]);");
  exec("insert into userinfo values(42,'r','d','{}');");
  exec("CREATE TABLE Screen(userid int,password char[100],PRIMARY KEY(userid));");
  exec("insert into Screen values(42,'pw');");
  exec("CREATE TABLE settings(autorun int,prompt int,local int,https int,blacktray int,"
       "recyclebin int,proxy int);");
  exec("insert into settings values(0,1,0,1,0,1,1);");

  SettingsDb store(path());
  EXPECT_EQ(scalar("select count(*) from settings"), 1);
  const auto info = store.getSettingInfo();
  ASSERT_TRUE(info);
  EXPECT_FALSE(info->autorun);
  EXPECT_TRUE(info->https && info->proxy);
  EXPECT_TRUE(info->msg && info->msgsound && info->clickreadonly);
  EXPECT_EQ(info->language, 1);
  EXPECT_EQ(info->nUploadMax, 5);
  EXPECT_EQ(info->nDownloadMax, 5);
  EXPECT_EQ(store.getHotKey(), std::optional<std::string>(""));
  EXPECT_FALSE(store.getLog());
  EXPECT_EQ(store.getLogLevel(), 0);
  EXPECT_EQ(store.getuserinfo().userid, 42);
  EXPECT_EQ(store.getuserinfo().token, "");
  EXPECT_EQ(store.getuserinfo().serverhost, "");
  EXPECT_FALSE(store.getLockStatus(42));
  EXPECT_EQ(scalar("select lock is not null from Screen where userid=42"), 1);
  EXPECT_EQ(store.getScreenPassword(42), "pw");
}

TEST_F(SettingsDbTest, CurrentLayoutIsLeftUnchangedByTheUpgrade) {
  {
    SettingsDb store(path());
    store.setmsg(false);
    store.setHotKey("F1");
    store.setUploadMax(1);
  }
  SettingsDb again(path());
  EXPECT_FALSE(again.getmsg());
  EXPECT_EQ(again.getHotKey(), std::optional<std::string>("F1"));
  EXPECT_EQ(again.getUploadMax(), 1);
}

}  // namespace
}  // namespace nb
