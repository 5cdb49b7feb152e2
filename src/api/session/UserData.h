#pragma once
// The process-wide record of the signed-in user: tokens, identity, this
// computer's identity, the ignore list, the transfer switch, and the layout
// of the per-user state under the configuration folder C (~/.veskocfg):
//   C/vesettings3.db, C/velocalstorage3.db, C/nubrenupdate.zip, C/nbtemp
//   U = C/<userID>  ("C/0" while signed out), made on every request
//   U/vemountex3.db, U/vetransex3.db, U/vemessage3.db, U/cache, U/cache/temp,
//   U/transcache, U/temppath, U/screenshot, U/old_version
// C and U and every folder made here get mode 0700: they hold the user's
// tokens, stores and decrypted copies.
//
// Thread-safety: every accessor may be called from any thread; texts are
// returned as copies of the current value. lockToken() serialises token
// refreshes and is never taken by the accessors themselves.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "api/session/OpenDirectoryhandler.h"
#include "foundation/util/FieldLock.h"

namespace nb {

class RetToken;
class RetUserInfo;

// What the session needs of the higher layers (settings, catalogue and sync
// stores, sync centre), registered by the shell at start-up. An empty
// function is skipped.
struct SessionHooks {
  // Clears the stored sign-in of the settings store.
  std::function<void()> clearuserinfo;
  // After a background refresh: fetch the account settings with the new
  // access token and, on success, replace the catalogue's server settings
  // and refill the sync centre's delay list.
  std::function<void(const std::string& token)> reloadAccountSettings;
  // Converts the older sync store at oldPath into a current one at newPath;
  // true when the new store was made and filled. Registered by the stores
  // (registerStoreSeams); while empty, the migration logs an error and
  // leaves every older sync store where it is.
  std::function<bool(const std::string& oldPath, const std::string& newPath)> update2to3;
};

class UserData {
 public:
  struct Options {
    std::filesystem::path home;  // empty: platform::homeFolder()
    std::string computerid;      // empty: Util::getcomputerid()
    // Makes the watcher of openPath; empty: makeOpenDirectoryhandler.
    OpenDirectoryhandlerFactory watcherFactory;
  };

  static constexpr std::int64_t kDefaultExpiresTime = 18000;

  // The shared instance, made on first use from the default options.
  static UserData& shareUserData();

  // Creates no folder; makes the watcher of openPath and starts it.
  explicit UserData(Options options = {});
  UserData(const UserData&) = delete;
  UserData& operator=(const UserData&) = delete;

  // --- Tokens ----------------------------------------------------------------
  // Held by a token refresh across its network call.
  std::mutex& lockToken() { return lockToken_; }
  // A background refresh runs; set and cleared under lockToken().
  bool refreshing() const { return refreshing_.load(); }
  void setRefreshing(bool v) { refreshing_.store(v); }
  std::string userToken() const { return fields_.get(userToken_); }
  std::string refreshToken() const { return fields_.get(refreshToken_); }
  std::int64_t expiresTime() const { return fields_.get(expiresTime_); }  // seconds
  void setUserToken(std::string v) { fields_.set(userToken_, std::move(v)); }
  void setRefreshToken(std::string v) { fields_.set(refreshToken_, std::move(v)); }
  void setExpiresTime(std::int64_t v) { fields_.set(expiresTime_, v); }

  // Refreshes the tokens under lockToken() (held across the call, so
  // concurrent callers refresh one after another, each with the refresh
  // token the previous one stored) and answers the access token now current.
  // Changes only the three token fields and never signs out.
  std::string getTokenByRefresh();
  // Background refresh: returns at once while another one runs. On success
  // stores the tokens and reloads the account settings; when the server
  // refuses the refresh token (an OAuth refusal, or a 4xx answer with a
  // non-zero error code) signs the user out through the settings hook, the
  // application state and exit(). No answer, error code 0 and 5xx answers
  // keep the session. May run on any thread; the shell's sign-out calls run
  // on the main thread, which must be running.
  void regettoken();
  // Whether a refresh answer is a refusal of the refresh token.
  static bool isRefusedRefresh(const RetToken& ret);

  // Registers the higher layers' part of the session (see SessionHooks).
  static void setSessionHooks(SessionHooks hooks);
  static SessionHooks sessionHooks();

  // --- Identity ----------------------------------------------------------------
  // Copies the identity fields of an account information answer.
  void updateUserInfoByRetUserInfo(const RetUserInfo& info);
  std::string strServerHost() const { return fields_.get(strServerHost_); }
  std::int64_t userID() const { return fields_.get(userID_); }
  std::string userEmail() const { return fields_.get(userEmail_); }
  std::string userWebName() const { return fields_.get(userWebName_); }
  std::string userPhone() const { return fields_.get(userPhone_); }
  std::string userPhoto() const { return fields_.get(userPhoto_); }
  std::string strMemberAccount() const { return fields_.get(strMemberAccount_); }
  std::string jsonUserinfo() const { return fields_.get(jsonUserinfo_); }
  // Empty while unknown; getinfo() fills it from the computer name.
  std::string devicename() const { return fields_.get(devicename_); }
  bool devicestatus() const { return fields_.get(devicestatus_); }
  bool bTransStart() const { return fields_.get(bTransStart_); }
  bool bShowLaunchpad() const { return fields_.get(bShowLaunchpad_); }
  std::uint64_t ullDateline() const { return fields_.get(ullDateline_); }
  void setStrServerHost(std::string v) { fields_.set(strServerHost_, std::move(v)); }
  void setUserID(std::int64_t v) { fields_.set(userID_, v); }
  void setUserEmail(std::string v) { fields_.set(userEmail_, std::move(v)); }
  void setUserWebName(std::string v) { fields_.set(userWebName_, std::move(v)); }
  void setUserPhone(std::string v) { fields_.set(userPhone_, std::move(v)); }
  void setUserPhoto(std::string v) { fields_.set(userPhoto_, std::move(v)); }
  void setStrMemberAccount(std::string v) { fields_.set(strMemberAccount_, std::move(v)); }
  void setJsonUserinfo(std::string v) { fields_.set(jsonUserinfo_, std::move(v)); }
  void setDevicename(std::string v) { fields_.set(devicename_, std::move(v)); }
  void setDevicestatus(bool v) { fields_.set(devicestatus_, v); }
  void setBTransStart(bool v) { fields_.set(bTransStart_, v); }
  void setBShowLaunchpad(bool v) { fields_.set(bShowLaunchpad_, v); }
  void setUllDateline(std::uint64_t v) { fields_.set(ullDateline_, v); }

  // Identity of this computer, sent as "device"; never empty.
  const std::string& computerid() const { return computerid_; }
  const std::string& getdevice() const { return computerid_; }

  // --- Folders and files (see the layout above) --------------------------------
  const std::string& configPath() const { return configPath_; }
  const std::string& getconfigpath() const { return configPath_; }
  const std::string& openPath() const { return openPath_; }
  const std::string& tempPath() const { return tempPath_; }
  std::string getsetting() const;
  std::string getlocalstorage() const;
  std::string getappupdatepath() const;
  std::string getuserfolderpath() const;  // creates C and U
  std::string getmountdb() const;
  std::string gettransdb() const;
  std::string getMessageDb() const;
  std::string getcache() const;
  std::string getcachetemp() const;       // creates it
  std::string getranscache() const;
  std::string getDecryptPath() const;
  std::string getscreenshotpath() const;  // creates it
  std::string getoldversionpath() const;  // creates it

  // strUIPath of the server configuration with URL escapes added.
  std::string getuipath() const;
  // home + "/" + the deployment's title, or the localized product name.
  std::string getnormalsyncpath() const;

  // --- This computer -------------------------------------------------------------
  // Device information sent with token calls: JSON {"BRAND","VERSION",
  // "DISPLAY","CLIENT_ID"}; fills devicename from getcomputer() when empty.
  std::string getinfo();
  // PRETTY_NAME of /etc/os-release (the system version shown to the server).
  std::string getversion() const;
  // PRETTY_HOSTNAME of /etc/machine-info, else the host name.
  std::string getcomputer() const;
  // The quoted model in a name such as `Ann's “Workstation”`, else the name.
  std::string getcomputertype() const;
  static std::string computerTypeFrom(std::string_view computerName);
  // Login name of the current user.
  std::string getcomputerusername() const;

  // --- Old-install migration ------------------------------------------------------
  // Whether U still holds the older catalogue "vemountex.db": the shell's
  // sign-in check then runs changeOldVersion before the session starts.
  bool hasOldVersion() const;
  // Converts and moves the older install's stores under U into
  // U/old_version (a file already there is replaced, so the old catalogue
  // always leaves U), deletes C/vesettings.db and C/velocalstorage.db, then
  // tells the shell the migration is over and posts its sign-in check.
  // Failures are logged and skipped. Run on a task-queue thread.
  void changeOldVersion();
  // The migration's walk of `folder`: deletes the "_old" stores, copies and
  // converts the older stores in place and appends the files to move. An
  // older sync store is moved only once converted: without the conversion
  // hook, or when it fails, it stays where it is (with an error logged), so
  // its rows are never lost to a folder nothing reads.
  // Skips hidden names, "cache", "transcache", "screenshot" and U/old_version.
  void findFileByPath(const std::string& folder, std::vector<std::string>& files);

  // --- Sign-out ------------------------------------------------------------------
  // Clears tokens and identity; keeps strMemberAccount, strServerHost,
  // devicename, devicestatus, ullDateline, computerid, the ignore list and
  // the paths.
  void exit();

  // --- Ignore list -----------------------------------------------------------------
  // Replaces the list by the non-empty pieces of `list` split at ";".
  void setignore(std::string_view list);
  // True when the lower-cased name ends with "." + some lower-cased entry.
  bool checkignore(std::string_view fileName) const;

  // --- Cache paths ---------------------------------------------------------------------
  // True when the path lies strictly inside the folder (its text followed by
  // "/" and more) and has no ".." component.
  bool checkIsTransCachePath(std::string_view path) const;
  bool checkIsDecryptPath(std::string_view path) const;
  // Delete the file or folder at the path only when the test above holds.
  // True when something was deleted.
  bool ClearTransCachePath(std::string_view path) const;
  bool ClearDecryptPath(std::string_view path) const;

  // Removes the signed-in user's folder U with everything in it, for a
  // sign-out that deletes the user's records. Refuses (false) unless U lies
  // strictly inside the configuration folder.
  bool deleteUserFolder() const;

 private:
  std::string userFolder() const;  // U, not created

  // Constant after construction.
  const std::string home_;
  const std::string configPath_;
  const std::string openPath_;
  const std::string tempPath_;
  const std::string computerid_;

  std::mutex lockToken_;
  std::atomic<bool> refreshing_{false};

  FieldLock fields_;  // guards every field below
  std::string userToken_;
  std::string refreshToken_;
  std::int64_t expiresTime_ = kDefaultExpiresTime;
  std::string strServerHost_;
  std::int64_t userID_ = 0;
  std::string userEmail_;
  std::string userWebName_;
  std::string userPhone_;
  std::string userPhoto_;
  std::string strMemberAccount_;
  std::string jsonUserinfo_;
  std::string devicename_;
  bool devicestatus_ = false;
  bool bTransStart_ = true;
  bool bShowLaunchpad_ = false;
  std::uint64_t ullDateline_ = 0;
  std::vector<std::string> ignorelist_;

  std::unique_ptr<OpenDirectoryhandler> openhandler_;
};

}  // namespace nb
