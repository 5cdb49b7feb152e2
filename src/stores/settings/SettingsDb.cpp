#include "stores/settings/SettingsDb.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "api/session/UserData.h"
#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"
#include "foundation/util/UtilSession.h"
#include "platform/Log.h"

namespace nb {

namespace {

namespace fs = std::filesystem;

constexpr const char* kCreateUserinfo =
    "CREATE TABLE IF NOT EXISTS userinfo(userid int,refreshtoken char[100],device char[100],"
    "userinfo char[4000],token char[100],serverhost char[100]);";
constexpr const char* kCreateScreen =
    "CREATE TABLE IF NOT EXISTS Screen(userid int,password char[100],lock int,"
    "PRIMARY KEY(userid));";
constexpr const char* kCreateSettings =
    "CREATE TABLE IF NOT EXISTS settings(autorun int,prompt int,local int,https int,"
    "blacktray int,recyclebin int,proxy int,msg int, msgsound int,language int,"
    "hotkey char[200],log int,loglevel int,uploadmax int,downloadmax int,clickreadonly int);";
constexpr const char* kSeedSettings =
    "insert into settings(autorun,prompt,local,https,blacktray,recyclebin,proxy,msg,msgsound,"
    "language,log,loglevel,uploadmax,downloadmax,clickreadonly) "
    "values(1,1,1,0,1,1,0,1,1,1,0,0,'5','5',1);";

// Columns added since the first layout, in the order they came: each back-fill
// runs only when its ALTER succeeded, that is when the column was missing.
constexpr struct {
  const char* alter;
  const char* backfill;
} kUpgradeSteps[] = {
    {"ALTER TABLE settings add msg int;", "update settings set msg=1;"},
    {"ALTER TABLE settings add msgsound int;", "update settings set msgsound=1;"},
    {"ALTER TABLE settings add language int;", "update settings set language=1;"},
    {"ALTER TABLE userinfo add token char[100];", "update userinfo set token='';"},
    {"ALTER TABLE userinfo add serverhost char[100];", "update userinfo set serverhost='';"},
    {"ALTER TABLE settings add hotkey char[200];", "update settings set hotkey='';"},
    {"ALTER TABLE settings add log int;", "update settings set log=0;"},
    {"ALTER TABLE settings add loglevel int;", "update settings set loglevel=0;"},
    {"ALTER TABLE Screen add lock int;", "update Screen set lock=0;"},
    {"ALTER TABLE settings add uploadmax int;", "update settings set uploadmax='5'"},
    {"ALTER TABLE settings add downloadmax int;", "update settings set downloadmax='5'"},
    {"ALTER TABLE settings add clickreadonly int;", "update settings set clickreadonly=1"},
};

// The file keeps tokens in plain text: owner-only folder and file, made so
// before SQLite first creates it (its journals take the file's mode).
void protectStoreFile(const std::string& path) {
  const fs::path folder = fs::path(path).parent_path();
  std::error_code ec;
  if (!folder.empty()) {
    fs::create_directories(folder, ec);
    ::chmod(folder.c_str(), 0700);
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd >= 0) {
    ::fchmod(fd, 0600);
    ::close(fd);
  } else {
    NBLOG_WARN("cannot protect the settings file {}", path);
  }
}

}  // namespace

SettingsDb& SettingsDb::shareSettingDb() {
  static SettingsDb store(UserData::shareUserData().getsetting());
  return store;
}

SettingsDb::SettingsDb(const std::string& path) { initpath(path); }

void SettingsDb::initpath(const std::string& path) {
  protectStoreFile(path);
  init(path, true);
}

void SettingsDb::createTable(bool /*integrity*/) {
  inDatabase([](FMDatabase& db) {
    db.executeUpdate(kCreateUserinfo);
    db.executeUpdate(kCreateScreen);
    db.executeUpdate(kCreateSettings);
    auto count = db.executeQuery("select count(*) as cnt from settings;");
    const bool empty = !count || !count->next() || count->intForColumn("cnt") == 0;
    if (count) {
      count->close();
    }
    if (empty) {
      db.executeUpdate(kSeedSettings);
    }
  });
}

void SettingsDb::updateTable() {
  inDatabase([](FMDatabase& db) {
    for (const auto& step : kUpgradeSteps) {
      if (db.executeUpdate(step.alter)) {
        db.executeUpdate(step.backfill);
      }
    }
  });
}

// ---- saved sign-in ----

void SettingsDb::setuserinfo(const UserInfo& info) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdate("delete from userinfo;");
    db.executeUpdate(
        "insert into userinfo(userid,refreshtoken,device,userinfo,token,serverhost) "
        "values(?,?,?,?,?,?);",
        {info.userid, info.refreshtoken, info.device, info.userinfo, info.token,
         info.serverhost});
  });
}

UserInfo SettingsDb::getuserinfo() {
  UserInfo info;
  inDatabase([&](FMDatabase& db) {
    auto rs = db.executeQuery("select * from userinfo;");
    if (rs && rs->next()) {
      // Member ids outgrow 32 bits; the whole stored value is read.
      info.userid = rs->longForColumn("userid");
      info.refreshtoken = rs->stringForColumn("refreshtoken");
      info.device = rs->stringForColumn("device");
      info.userinfo = rs->stringForColumn("userinfo");
      info.token = rs->stringForColumn("token");
      info.serverhost = rs->stringForColumn("serverhost");
    }
  });
  return info;
}

void SettingsDb::clear_userinfo() {
  inDatabase([](FMDatabase& db) { db.executeUpdate("delete from userinfo;"); });
}

void SettingsDb::clearuserinfo() {
  inDatabase([](FMDatabase& db) { db.executeUpdateRetry("delete from userinfo;"); });
}

// ---- screen lock ----

void SettingsDb::upsertScreen(int64_t userid, const char* updateSql, const char* insertSql,
                              const SqlArgs& updateArgs, const SqlArgs& insertArgs) {
  // Existence test and write in one job: two callers cannot both insert.
  inDatabase([&](FMDatabase& db) {
    bool found = false;
    if (auto rs = db.executeQuery("select * from Screen where userid=?;", {userid})) {
      while (rs->next()) {
        found = true;
      }
    }
    if (found) {
      db.executeUpdateRetry(updateSql, updateArgs);
    } else {
      db.executeUpdateRetry(insertSql, insertArgs);
    }
  });
}

void SettingsDb::setScreenPassword(int64_t userid, const std::string& password) {
  upsertScreen(userid, "update Screen set password=? where userid=?;",
               "insert into Screen(userid,password) values(?,?);", {password, userid},
               {userid, password});
}

std::string SettingsDb::getScreenPassword(int64_t userid) {
  std::string password;
  inDatabase([&](FMDatabase& db) {
    auto rs = db.executeQuery("select * from Screen where userid=?;", {userid});
    if (rs && rs->next()) {
      password = rs->stringForColumn("password").value_or("");
    }
  });
  return password;
}

void SettingsDb::deleteScreenPassword(int64_t userid) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry("delete from Screen where userid=?;", {userid});
  });
}

void SettingsDb::setLockStatus(int64_t userid, bool status) {
  const int lock = status ? 1 : 0;
  upsertScreen(userid, "update Screen set lock=? where userid=?;",
               "insert into Screen(userid,password,lock) values(?,'',?);", {lock, userid},
               {userid, lock});
}

bool SettingsDb::getLockStatus(int64_t userid) {
  bool locked = false;
  inDatabase([&](FMDatabase& db) {
    auto rs = db.executeQuery("select * from Screen where userid=?;", {userid});
    if (rs && rs->next()) {
      locked = rs->boolForColumn("lock");
    }
  });
  return locked;
}

// ---- settings ----

void SettingsDb::setColumn(const char* column, const SqlValue& value) {
  const std::string sql = std::string("update settings set ") + column + "=?;";
  inDatabase([&](FMDatabase& db) { db.executeUpdateRetry(sql, {value}); });
}

bool SettingsDb::flagColumn(const char* column, bool fallback) {
  return numberColumn(column, fallback ? 1 : 0) != 0;
}

int64_t SettingsDb::numberColumn(const char* column, int64_t fallback) {
  const std::string sql = std::string("select ") + column + " from settings;";
  int64_t value = fallback;
  inDatabase([&](FMDatabase& db) {
    auto rs = db.executeQuery(sql);
    if (rs && rs->next()) {
      value = rs->intForColumnIndex(0);
    }
  });
  return value;
}

void SettingsDb::setautorun(bool on) {
  if (on) {
    Util::addAppAsLoginItem();
  } else {
    Util::deleteAppFromLoginItem();
  }
  setColumn("autorun", on);
}

bool SettingsDb::getautorun() { return flagColumn("autorun", true); }
void SettingsDb::setprompt(bool on) { setColumn("prompt", on); }
bool SettingsDb::getprompt() { return flagColumn("prompt", true); }
void SettingsDb::setlocal(bool on) { setColumn("local", on); }
bool SettingsDb::getlocal() { return flagColumn("local", true); }
void SettingsDb::sethttps(bool on) { setColumn("https", on); }
bool SettingsDb::gethttps() { return flagColumn("https", true); }
void SettingsDb::setblacktray(bool on) { setColumn("blacktray", on); }
bool SettingsDb::getblacktray() { return flagColumn("blacktray", true); }
void SettingsDb::setdelete2recyclebin(bool on) { setColumn("recyclebin", on); }
bool SettingsDb::getdelete2recyclebin() { return flagColumn("recyclebin", true); }
void SettingsDb::setproxy(bool on) { setColumn("proxy", on); }
bool SettingsDb::getproxy() { return flagColumn("proxy", false); }
void SettingsDb::setmsg(bool on) { setColumn("msg", on); }
bool SettingsDb::getmsg() { return flagColumn("msg", false); }
void SettingsDb::setmsgsound(bool on) { setColumn("msgsound", on); }
bool SettingsDb::getmsgsound() { return flagColumn("msgsound", false); }
void SettingsDb::setlanguage(int64_t language) { setColumn("language", language); }
int64_t SettingsDb::getlanguage() { return numberColumn("language", 1); }
void SettingsDb::setLog(bool on) { setColumn("log", on); }
bool SettingsDb::getLog() { return flagColumn("log", false); }
void SettingsDb::setLogLevel(int64_t level) { setColumn("loglevel", level); }
int64_t SettingsDb::getLogLevel() { return numberColumn("loglevel", 1); }
void SettingsDb::setUploadMax(int64_t count) { setColumn("uploadmax", count); }
int64_t SettingsDb::getUploadMax() { return numberColumn("uploadmax", 5); }
void SettingsDb::setDownloadMax(int64_t count) { setColumn("downloadmax", count); }
int64_t SettingsDb::getDownloadMax() { return numberColumn("downloadmax", 5); }
void SettingsDb::setclickreadonly(bool on) { setColumn("clickreadonly", on); }
bool SettingsDb::getclickreadonly() { return flagColumn("clickreadonly", false); }

void SettingsDb::setHotKey(const std::string& keys) { setColumn("hotkey", keys); }

std::optional<std::string> SettingsDb::getHotKey() {
  std::optional<std::string> keys = std::string();
  inDatabase([&](FMDatabase& db) {
    auto rs = db.executeQuery("select hotkey from settings;");
    if (rs && rs->next()) {
      keys = rs->stringForColumnIndex(0);
    }
  });
  return keys;
}

std::optional<SettingInfo> SettingsDb::getSettingInfo() {
  std::optional<SettingInfo> info;
  inDatabase([&](FMDatabase& db) {
    auto rs = db.executeQuery("select * from settings;");
    if (!rs || !rs->next()) {
      return;
    }
    info.emplace();
    info->autorun = rs->boolForColumn("autorun");
    info->prompt = rs->boolForColumn("prompt");
    info->local = rs->boolForColumn("local");
    info->https = rs->boolForColumn("https");
    info->recycle = rs->boolForColumn("recyclebin");
    info->proxy = rs->boolForColumn("proxy");
    info->msg = rs->boolForColumn("msg");
    info->msgsound = rs->boolForColumn("msgsound");
    info->clickreadonly = rs->boolForColumn("clickreadonly");
    info->language = rs->intForColumn("language");
    info->nUploadMax = rs->intForColumn("uploadmax");
    info->nDownloadMax = rs->intForColumn("downloadmax");
  });
  return info;
}

}  // namespace nb
