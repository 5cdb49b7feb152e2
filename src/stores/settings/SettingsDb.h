#pragma once
// The installation's settings store ("vesettings3.db" in the configuration
// folder): the client's settings (one row), the saved sign-in (at most one
// row) and each user's screen-lock password and state.
//
// Every operation is one job on the store's queue, synchronous on the
// caller's thread; safe from any thread. Writes report nothing; a read that
// fails answers the same fallback as a read that finds no row. The file
// holds tokens in plain text, so it is made readable by its owner only
// (mode 0600, in a folder of mode 0700).

#include <cstdint>
#include <optional>
#include <string>

#include "foundation/sqlite/MySqlite.h"
#include "stores/settings/SettingInfo.h"
#include "stores/settings/UserInfo.h"

namespace nb {

class SettingsDb : public MySqlite {
 public:
  // The process-wide store, opened on `getsetting` of the session
  // ("vesettings3.db" in the configuration folder) at first use.
  static SettingsDb& shareSettingDb();

  // A store on `path`, opened at once with the integrity check on.
  explicit SettingsDb(const std::string& path);
  // Opens (or re-opens) the store on `path`.
  void initpath(const std::string& path);

  void createTable(bool integrity) override;
  void updateTable() override;

  // ---- saved sign-in ----
  void setuserinfo(const UserInfo& info);  // replaces the row; not retried
  UserInfo getuserinfo();                  // user id -1 when nobody is saved
  void clear_userinfo();                   // one plain attempt
  void clearuserinfo();                    // retried

  // ---- screen lock, per member id ----
  void setScreenPassword(int64_t userid, const std::string& password);
  std::string getScreenPassword(int64_t userid);  // "" without a row
  void deleteScreenPassword(int64_t userid);       // the lock state goes with it
  void setLockStatus(int64_t userid, bool status);
  bool getLockStatus(int64_t userid);  // no without a row or with a NULL state

  // ---- settings; each getter answers its own fallback without a row ----
  void setautorun(bool on);  // also adds or removes the autostart entry
  bool getautorun();
  void setprompt(bool on);
  bool getprompt();
  void setlocal(bool on);
  bool getlocal();
  void sethttps(bool on);
  bool gethttps();
  void setblacktray(bool on);
  bool getblacktray();
  void setdelete2recyclebin(bool on);
  bool getdelete2recyclebin();
  void setproxy(bool on);
  bool getproxy();
  void setmsg(bool on);
  bool getmsg();
  void setmsgsound(bool on);
  bool getmsgsound();
  void setlanguage(int64_t language);
  int64_t getlanguage();
  void setHotKey(const std::string& keys);  // key names joined with "+"
  std::optional<std::string> getHotKey();   // nothing while never set
  void setLog(bool on);
  bool getLog();
  void setLogLevel(int64_t level);
  int64_t getLogLevel();
  void setUploadMax(int64_t count);
  int64_t getUploadMax();
  void setDownloadMax(int64_t count);
  int64_t getDownloadMax();
  void setclickreadonly(bool on);
  bool getclickreadonly();

  // The whole settings row; nothing without one.
  std::optional<SettingInfo> getSettingInfo();

 private:
  void setColumn(const char* column, const SqlValue& value);
  bool flagColumn(const char* column, bool fallback);
  int64_t numberColumn(const char* column, int64_t fallback);
  void upsertScreen(int64_t userid, const char* updateSql, const char* insertSql,
                    const SqlArgs& updateArgs, const SqlArgs& insertArgs);
};

}  // namespace nb
