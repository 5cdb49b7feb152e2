#pragma once
// What the lower layers need of the application shell. The shell's
// AppDelegate implements AppState and registers itself at start-up with
// setAppDelegate(); tests register a recording fake. Until something is
// registered every caller meets a do-nothing state (see getAppDelegate
// below), so a library used without a shell never crashes on a missing
// delegate; its commands log an error there, so a missing registration
// shows.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/app/BaseWebWindowController.h"
#include "foundation/app/PageEvent.h"

namespace nb {

namespace platform {
class OperationQueue;
}

class ServerInfo;  // the server configuration, owned by the shell (api layer)

class AppState {
 public:
  virtual ~AppState() = default;

  // The server configuration made at launch. Null until the shell made it;
  // api code reads it through ServerInfo::current(), which never is null.
  virtual std::shared_ptr<ServerInfo> serverInfo() = 0;

  // User-Agent of every request: "NB_SYNC;<version>;Mac;<system>" with
  // ";SOURCE/<source>" when a deployment source is set. Empty until formed.
  virtual std::string userAgentString() = 0;
  // Accept-Language of the chosen language: "en-us;q=1,en", "zh-tw;q=1,zh"
  // or "zh-cn;q=1,zh".
  virtual std::string languageWithRequestString() = 0;
  // Language code of the chosen language as pages and the language tables
  // name it: "en-us", "zh-tw" or "zh-cn".
  virtual std::string languageWithWebUrlString() = 0;

  // The user's own HTTPS setting, without the server file's forcing.
  virtual bool bUseHttps() = 0;
  // True when server.json forces HTTPS or the user's setting is on.
  virtual bool checkUseHttps() = 0;

  // Whether the shell believes the network is up, and its setter (which also
  // tells the pages "LinkStatus" and may start a token refresh or sign-in).
  virtual bool bLinkNetwork() = 0;
  virtual void setLinkStatus(bool up) = 0;

  // JSON text with the member "count": the unread count on the status icon.
  // Runs on the caller's thread.
  virtual void gSetMessageCount(const std::string& json) = 0;

  // Sign-out after a refused token refresh. Each runs on the main thread; a
  // caller elsewhere waits until it has run.
  virtual void refreshWithLoginByTokenError() = 0;
  virtual void logoutByError() = 0;
  // Shows the sign-in window with the result of a sign-in ("login", code,
  // message).
  virtual void loginResultOnMainThread(const std::string& kind, std::int64_t code,
                                       const std::string& message) = 0;

  // Queues the client and UI update checks; returns at once.
  virtual void checkServerAppandUI() = 0;
  // Starts the session, or the old-install migration first (main thread).
  virtual void checkBySqlToLogin() = 0;
  // Marks the old-install migration as running.
  virtual void setBSqlite2To3(bool running) = 0;

  // Sends a page event to every open page and waits until each has run it.
  // The event's name is an identifier and its detail JSON written by our own
  // writer (see PageEvent), so nothing a page or server sent is spliced into
  // script text.
  virtual void setAllCustomEvent(const PageEvent& event) = 0;

  // Lets the user choose an application to open the file with.
  virtual void openwith(const std::string& path) = 0;
  // A web UI package waits to be installed once the application is idle.
  virtual void setBUpdateUI(bool waiting) = 0;
  // Tells the sign-in and main windows that a sign-in finished.
  virtual void refreshWithUIByLoginFinish() = 0;

  // --- What the sync engine asks of the shell ---------------------------------
  // The user's switches: the in-app screen lock is on; local deletions go to
  // the Trash; notices about file events are allowed.
  virtual bool bLockScreen() = 0;
  virtual bool bRecyclebin() = 0;
  virtual bool bPromptMessage() = 0;

  // True until the main page was told that the first library load is done.
  virtual bool bNeedLoading() = 0;
  virtual void setBNeedLoading(bool needed) = 0;
  // Sends "LoadFinish" to the main page on the main thread without waiting;
  // nothing when the main window does not exist.
  virtual void loadFinishForLaunchpad() = 0;

  // Asks the housekeeping timer for an immediate hot-file refresh.
  virtual void setBResetHotFile(bool reset) = 0;
  // Shows and activates the main window on a tab (made on first use). Call
  // on the main thread.
  virtual void showLaunchpadForTab(const std::string& tab) = 0;

  // The process-wide queue of background jobs (scans, listings, template
  // downloads, the feedback upload). Null when the shell has none.
  virtual std::shared_ptr<platform::OperationQueue> taskQueue() = 0;

  // The windows that show any folder of a library / exactly the folder
  // `webpath` of a library (main window first). Each window's
  // setCustomEvent waits for the main thread: never call it while holding a
  // lock the main thread may take.
  virtual std::vector<std::shared_ptr<BaseWebWindowController>> checkCurrent(int64_t mountId) = 0;
  virtual std::vector<std::shared_ptr<BaseWebWindowController>> checkCurrent(
      int64_t mountId, const std::string& webpath) = 0;

  // Forwarded to the main window as "gCompareNotifyReset" / as
  // "gLastUpdateDateline", on the main thread without waiting. The texts
  // are JSON; text that does not parse sends nothing.
  virtual void gCompareNotifyReset(const std::string& json) = 0;
  virtual void lastUpdateDatelineForLaunchpad(const std::string& json) = 0;

  // The favourites folder in the user folder: one symbolic link per linked
  // local folder, the folder itself a desktop bookmark.
  virtual std::string favritePathString() = 0;
  // Whether the favourites folder holds a link to a folder whose target is
  // `folder`.
  virtual bool findFavorite(const std::string& folder) = 0;
  // Whether such a link is known; when it is, its removal mark is cleared.
  virtual bool initFavoriteFind(const std::string& folder) = 0;
  // Deletes every favourites link whose removal mark is still set.
  virtual void initFavoriteClear() = 0;
  // Deletes the first favourites link whose target is `folder`.
  virtual void deleteFavorite(const std::string& folder) = 0;

  // Packs the sync stores for a report (the sync centre's zipdb).
  virtual void uploadSyncDb() = 0;

  // Shows a desktop notification; the context, when given, is what a click
  // on it opens.
  virtual void setGrowlNotificationDescripation(const std::string& description,
                                                const std::optional<std::string>& context) = 0;
};

// Registers the process-wide application state; null restores the do-nothing
// default. Register before other threads start; a test registers its fake in
// SetUp and clears it in TearDown. Thread-safe.
void setAppDelegate(std::shared_ptr<AppState> state);

namespace Util {

// The registered application state, or the do-nothing default: never null.
// The do-nothing default answers empty texts, the English language, no
// HTTPS, network up, no server configuration, every switch off, no windows
// and no task queue, and drops the commands with an error in the log.
// Holding the returned pointer keeps that state alive. Thread-safe.
std::shared_ptr<AppState> getAppDelegate();

}  // namespace Util
}  // namespace nb
