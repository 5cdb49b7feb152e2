#pragma once
// The one process-wide state object of the shell: sign-in, network and
// setting flags, transfer counts, the server configuration, the user agent
// and language, the task queue, and the small services every layer may ask
// for. Lower layers reach it as AppState through Util::getAppDelegate();
// start() registers it and the other answers only the shell can give.
//
// Thread-safety: flags and counters are atomic, texts are read and written
// whole under one lock, so every accessor is safe from any thread. The
// object lives from start-up to the end of the process.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/app/AppState.h"
#include "foundation/text/LanguageBundle.h"
#include "foundation/util/FieldLock.h"
#include "platform/OperationQueue.h"
#include "platform/SoundPlayer.h"
#include "shell/app/FavoriteLinks.h"

namespace nb {

class AppDelegate final : public AppState, public std::enable_shared_from_this<AppDelegate> {
 public:
  struct Options {
    // Where bundle resources (sounds) are looked up, the user's copies first.
    std::vector<std::filesystem::path> resourceFolders;  // empty: the defaults
    std::shared_ptr<platform::SoundPlayer> soundPlayer;  // null: the desktop's
    // Ends the process after a quit or before a relaunch; empty: leaves the
    // main loop (the entry point then exits without a shutdown sequence).
    std::function<void()> terminate;
    // Starts a program from an argv, never through a shell, without waiting;
    // answers whether it started. Empty: g_spawn_async.
    std::function<bool(const std::vector<std::string>& argv)> spawn;
    // This program, started again by the relaunch; empty: /proc/self/exe.
    std::string programPath;
    // The log-out question: answers kLogoutKeep, kLogoutDelete or anything
    // else for cancel. Empty: the alert on the main (or sign-in) window.
    std::function<int()> logoutQuestion;
  };

  // Answers of the log-out question (the alert's button codes).
  static constexpr int kLogoutKeep = 1000;
  static constexpr int kLogoutDelete = 1001;
  // The sign-in result code a refused stored sign-in gives the sign-in page.
  static constexpr std::int64_t kLoginRefused = 102;
  // The argument a relaunch passes: the new process waits for this one's
  // single-instance lock instead of giving up at once.
  static constexpr const char* kRelaunchArgument = "--relaunch";

  // Update states (updateStatusInteger).
  static constexpr std::int64_t kUpdateNone = 0;
  static constexpr std::int64_t kUpdateOffered = 1;
  static constexpr std::int64_t kUpdateInstalled = 2;

  explicit AppDelegate(Options options = {});
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // --- Sign-in and session ---------------------------------------------------------
  bool bManuallogin() const { return bManuallogin_; }
  void setBManuallogin(bool v) { bManuallogin_ = v; }
  bool bLogin() const { return bLogin_; }
  void setBLogin(bool v) { bLogin_ = v; }
  bool bLogining() const { return bLogining_; }
  void setBLogining(bool v) { bLogining_ = v; }
  bool bAutoLogin() const { return bAutoLogin_; }
  void setBAutoLogin(bool v) { bAutoLogin_ = v; }
  void setBLoginFinish(bool v) { bLoginFinish_ = v; }
  bool bFinishCallback() const { return bFinishCallback_; }
  void setBFinishCallback(bool v) { bFinishCallback_ = v; }
  // Sets the flag only; setLinkStatus also tells the pages.
  void setBLinkNetwork(bool v) { bLinkNetwork_ = v; }
  bool bOut() const { return bOut_; }
  void setBOut(bool v) { bOut_ = v; }
  bool bSqlite2To3() const { return bSqlite2To3_; }

  // --- Start-up, sign-in and session start (AppDelegateSignIn.cpp) -----------------
  // Automatic sign-in with the stored refresh token; blocks on the network,
  // so run it on a thread of its own (startLoginByAuto). A second call while
  // one runs returns at once.
  void loginByAuto();
  // Runs loginByAuto on a new detached thread.
  void startLoginByAuto();
  // The session start: device, stored sign-in, stores, sync centre,
  // transfer engine, LAN service, account settings. Main thread; blocks on
  // its web API calls; failed calls are skipped.
  void startByLogin();
  // Shows the sign-in window (made on first use); nothing while locked.
  void showLoginWebWindowController();
  // A launcher click or a second launch asked for the client: shows the
  // main or the sign-in window once start-up allowed it, else nothing.
  void applicationShouldHandleReopen();
  void setBShouldHandleReopen(bool v) { bShouldHandleReopen_ = v; }
  // A "vep://" link for a library's path: the main window opens on it, or a
  // notification says the library is not synced here or the path unknown.
  // Anything else is ignored. Main thread.
  void openUrlByVep(const std::string& url);
  bool bShouldHandleReopen() const { return bShouldHandleReopen_; }

  // --- Quit, log-out and relaunch (AppDelegateQuit.cpp) --------------------------
  // The system asked the process to end: ends at once.
  void handleQuitEvent();
  // Quit chosen in a menu: asks the main or sign-in page first ("QuitNotice"),
  // or ends at once when there is no window to ask. Main thread.
  void onMenuQuitAppClicked();
  // The page confirmed the quit.
  void gQuit();
  // Log-out from the locked menu: the keep/delete/cancel question, then
  // logoff. Main thread.
  void onBtnLogoutClicked();
  // Clears the stored sign-in and the user's lock password; unless
  // `keepFiles`, also deletes the user's folder (only when it is exactly the
  // configuration folder's entry of a real user id, links inside removed,
  // never followed) and the user's page storage. Then relaunches.
  void logoff(bool keepFiles);
  // Starts this program again (waiting for this process's lock) and ends
  // this process.
  void restartClient();
  // Leaves the process: bOut and the registered terminate.
  void terminate();

  // --- User settings ------------------------------------------------------------------
  void setBUseHttps(bool v) { bUseHttps_ = v; }
  bool bLocalNetwork() const { return bLocalNetwork_; }
  void setBLocalNetwork(bool v) { bLocalNetwork_ = v; }
  void setBRecyclebin(bool v) { bRecyclebin_ = v; }
  void setBPromptMessage(bool v) { bPromptMessage_ = v; }
  bool bMessageSound() const { return bMessageSound_; }
  void setBMessageSound(bool v) { bMessageSound_ = v; }

  // --- Pages, windows, hot key and lock -------------------------------------------------
  bool bCpyWithCancel() const { return bCpyWithCancel_; }
  void setBCpyWithCancel(bool v) { bCpyWithCancel_ = v; }
  bool bAlt() const { return bAlt_; }
  void setBAlt(bool v) { bAlt_ = v; }
  bool bCtrl() const { return bCtrl_; }
  void setBCtrl(bool v) { bCtrl_ = v; }
  bool bCommand() const { return bCommand_; }
  void setBCommand(bool v) { bCommand_ = v; }
  bool bShift() const { return bShift_; }
  void setBShift(bool v) { bShift_ = v; }
  // The screenshot hot key from its key names ("alt", "command", "shift",
  // "ctrl", any case; any other name is the key, the last one winning).
  // Clears the previous setting first.
  void SetHotKey(const std::vector<std::string>& keys);
  bool bNBNoteNeedSave() const { return bNBNoteNeedSave_; }
  void setBNBNoteNeedSave(bool v) { bNBNoteNeedSave_ = v; }
  bool bResetHotFile() const { return bResetHotFile_; }
  void setBLockScreen(bool v) { bLockScreen_ = v; }
  bool bWindowMove() const { return bWindowMove_; }
  void setBWindowMove(bool v) { bWindowMove_ = v; }
  bool bUpdateUI() const { return bUpdateUI_; }
  std::string hotKeyString() const { return texts_.get(hotKeyString_); }
  void setHotKeyString(std::string v) { texts_.set(hotKeyString_, std::move(v)); }
  std::uint64_t ullScreenshotTime() const { return ullScreenshotTime_; }  // seconds since 1970
  void setUllScreenshotTime(std::uint64_t v) { ullScreenshotTime_ = v; }
  std::string strScreenPassword() const { return texts_.get(strScreenPassword_); }
  void setStrScreenPassword(std::string v) { texts_.set(strScreenPassword_, std::move(v)); }
  // The badge text; nothing for no badge.
  std::optional<std::string> strMessageCount() const { return texts_.get(strMessageCount_); }
  void setStrMessageCount(std::optional<std::string> v) { texts_.set(strMessageCount_, std::move(v)); }
  // The count behind strMessageCount (0: none).
  std::int32_t nMessageCount() const { return nMessageCount_; }
  double fMessageCountHeight() const { return fMessageCountHeight_; }
  void setFMessageCountHeight(double v) { fMessageCountHeight_ = v; }
  double fMessageCountWidth() const { return fMessageCountWidth_; }
  void setFMessageCountWidth(double v) { fMessageCountWidth_ = v; }

  // --- Transfers (written by the housekeeping timer) ------------------------------------
  // Unfinished downloads plus uploads.
  std::int64_t nAllTransCount() const { return nAllTransCount_; }
  void setNAllTransCount(std::int64_t v) { nAllTransCount_ = v; }
  // Tasks running now.
  std::int64_t nTransCount() const { return nTransCount_; }
  void setNTransCount(std::int64_t v) { nTransCount_ = v; }

  // --- Versions and update ----------------------------------------------------------------
  std::string appVersionString() const { return texts_.get(appVersionString_); }
  void setAppVersionString(std::string v) { texts_.set(appVersionString_, std::move(v)); }
  std::string appUpdateVersionString() const { return texts_.get(appUpdateVersionString_); }
  void setAppUpdateVersionString(std::string v) { texts_.set(appUpdateVersionString_, std::move(v)); }
  // "0.0.0.0" until the update host offered a version.
  std::string appServerVersionString() const { return texts_.get(appServerVersionString_); }
  void setAppServerVersionString(std::string v) { texts_.set(appServerVersionString_, std::move(v)); }
  std::string appServerUrlString() const { return texts_.get(appServerUrlString_); }
  void setAppServerUrlString(std::string v) { texts_.set(appServerUrlString_, std::move(v)); }
  std::int64_t nAppServerSize() const { return nAppServerSize_; }
  void setNAppServerSize(std::int64_t v) { nAppServerSize_ = v; }
  std::string strUpdateServerInfo() const { return texts_.get(strUpdateServerInfo_); }
  void setStrUpdateServerInfo(std::string v) { texts_.set(strUpdateServerInfo_, std::move(v)); }
  std::int64_t updateStatusInteger() const { return updateStatusInteger_; }
  void setUpdateStatusInteger(std::int64_t v) { updateStatusInteger_ = v; }

  // --- Language, agent, configuration, queue ------------------------------------------
  // Chooses the language from the settings value (2 English, 3 traditional
  // Chinese, anything else simplified Chinese): the language table and the
  // two language texts follow.
  void setLanguage(std::int64_t settingsLanguage);
  std::shared_ptr<const LanguageBundle> languageBundle() const;
  void setUserAgentString(std::string v) { texts_.set(userAgentString_, std::move(v)); }
  void setServerInfo(std::shared_ptr<ServerInfo> info);
  // The favourites folder (set at session start) and its links.
  void setFavritePathString(std::string v) { favorites_.setFolder(std::move(v)); }
  void initFavoriteScan() { favorites_.initFavoriteScan(); }
  // Serialises SDK sign-in requests.
  std::mutex& lockSDKLogin() { return lockSDKLogin_; }

  // --- Services ---------------------------------------------------------------------------
  // Plays the bundle sound "<key>.wav" once at half volume, cutting off the
  // previous one. A key that is not a plain file name, or a missing file,
  // plays nothing. Answers whether a sound started.
  bool playSoundWithKey(const std::string& key);

  // --- AppState ---------------------------------------------------------------------------
  std::shared_ptr<ServerInfo> serverInfo() override;
  std::string userAgentString() override { return texts_.get(userAgentString_); }
  std::string languageWithRequestString() override;
  std::string languageWithWebUrlString() override;
  bool bUseHttps() override { return bUseHttps_; }
  // The server configuration demands HTTPS or the user's setting is on.
  bool checkUseHttps() override;
  bool bLoginFinish() override { return bLoginFinish_; }
  bool bLinkNetwork() override { return bLinkNetwork_; }
  void setLinkStatus(bool up) override;
  void gSetMessageCount(const std::string& json) override;
  void refreshWithLoginByTokenError() override;
  void logoutByError() override;
  void loginResultOnMainThread(const std::string& kind, std::int64_t code,
                               const std::string& message) override;
  void checkServerAppandUI() override;
  void checkBySqlToLogin() override;
  void setBSqlite2To3(bool running) override { bSqlite2To3_ = running; }
  void setAllCustomEvent(const PageEvent& event) override;
  // Lets the user choose an application for the file, on the main thread.
  void openwith(const std::string& path) override;
  void setBUpdateUI(bool waiting) override { bUpdateUI_ = waiting; }
  void refreshWithUIByLoginFinish() override;

  bool bLockScreen() override { return bLockScreen_; }
  bool bRecyclebin() override { return bRecyclebin_; }
  bool bPromptMessage() override { return bPromptMessage_; }
  bool bNeedLoading() override { return bNeedLoading_; }
  void setBNeedLoading(bool v) override { bNeedLoading_ = v; }
  void loadFinishForLaunchpad() override;
  void setBResetHotFile(bool v) override { bResetHotFile_ = v; }
  void showLaunchpadForTab(const std::string& tab) override;
  // Background jobs; default width.
  std::shared_ptr<platform::OperationQueue> taskQueue() override { return taskQueue_; }
  std::vector<std::shared_ptr<BaseWebWindowController>> checkCurrent(int64_t mountId) override;
  std::vector<std::shared_ptr<BaseWebWindowController>> checkCurrent(
      int64_t mountId, const std::string& webpath) override;
  void gCompareNotifyReset(const std::string& json) override;
  void lastUpdateDatelineForLaunchpad(const std::string& json) override;
  std::string favritePathString() override { return favorites_.folder(); }
  bool findFavorite(const std::string& folder) override { return favorites_.findFavorite(folder); }
  bool initFavoriteFind(const std::string& folder) override {
    return favorites_.initFavoriteFind(folder);
  }
  void initFavoriteClear() override { favorites_.initFavoriteClear(); }
  void deleteFavorite(const std::string& folder) override { favorites_.deleteFavorite(folder); }
  void uploadSyncDb() override;
  void setGrowlNotificationDescripation(const std::string& description,
                                        const std::optional<std::string>& context) override;

 private:
  // To the main page without waiting.
  static void sendToMain(const PageEvent& event);
  // The steps of loginByAuto and startByLogin.
  void copyStoredAccount();
  bool refreshStoredSignIn();
  void refuseStoredSignIn(const std::string& description, std::int64_t errorCode);
  void readAccount(const std::string& token, bool setLogin);
  void openSessionStores();
  void startSessionEngines();
  void checkShortcuts();
  // Deletes the signed-in user's folder when it is safe to (see logoff).
  static bool deleteUserFolderSafely();

  // Constant after construction.
  const std::vector<std::filesystem::path> resourceFolders_;
  const std::shared_ptr<platform::SoundPlayer> soundPlayer_;
  const std::shared_ptr<platform::OperationQueue> taskQueue_;
  const std::function<void()> terminate_;
  const std::function<bool(const std::vector<std::string>&)> spawn_;
  const std::string programPath_;
  const std::function<int()> logoutQuestion_;

  std::atomic<bool> bManuallogin_{false};
  std::atomic<bool> bLogin_{false};
  std::atomic<bool> bLogining_{false};
  std::atomic<bool> bAutoLogin_{false};
  std::atomic<bool> bLoginFinish_{false};
  std::atomic<bool> bFinishCallback_{false};
  std::atomic<bool> bLinkNetwork_{true};
  std::atomic<bool> bUseHttps_{false};
  std::atomic<bool> bLocalNetwork_{false};
  std::atomic<bool> bRecyclebin_{false};
  std::atomic<bool> bPromptMessage_{false};
  std::atomic<bool> bMessageSound_{false};
  std::atomic<bool> bNeedLoading_{false};
  std::atomic<bool> bCpyWithCancel_{false};
  std::atomic<bool> bAlt_{false};
  std::atomic<bool> bCtrl_{false};
  std::atomic<bool> bCommand_{false};
  std::atomic<bool> bShift_{false};
  std::atomic<bool> bOut_{false};
  std::atomic<bool> bNBNoteNeedSave_{false};
  std::atomic<bool> bResetHotFile_{false};
  std::atomic<bool> bLockScreen_{false};
  std::atomic<bool> bWindowMove_{false};
  std::atomic<bool> bSqlite2To3_{false};
  std::atomic<bool> bUpdateUI_{false};
  std::atomic<bool> bShouldHandleReopen_{false};
  std::atomic<std::uint64_t> ullScreenshotTime_{0};
  std::atomic<std::int64_t> nAllTransCount_{0};
  std::atomic<std::int64_t> nTransCount_{0};
  std::atomic<std::int64_t> nAppServerSize_{0};
  std::atomic<std::int64_t> updateStatusInteger_{kUpdateNone};
  std::atomic<std::int32_t> nMessageCount_{0};
  std::atomic<double> fMessageCountHeight_{0};
  std::atomic<double> fMessageCountWidth_{0};

  FieldLock texts_;  // guards every field below
  std::string hotKeyString_;
  std::string strScreenPassword_;
  std::optional<std::string> strMessageCount_;
  std::string appVersionString_;
  std::string appUpdateVersionString_;
  std::string appServerVersionString_ = "0.0.0.0";
  std::string appServerUrlString_;
  std::string strUpdateServerInfo_;
  std::string userAgentString_;
  std::string languageWithWebUrlString_ = "zh-cn";
  std::string languageWithRequestString_ = "zh-cn;q=1,zh";
  std::shared_ptr<const LanguageBundle> languageBundle_;
  std::shared_ptr<ServerInfo> serverInfo_;

  FavoriteLinks favorites_;
  std::mutex lockSDKLogin_;
};

}  // namespace nb
