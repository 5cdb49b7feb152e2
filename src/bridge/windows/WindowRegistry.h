#pragma once
// The client's open web windows: the main and sign-in windows, the browser
// windows in the order they opened (settings, the windows pages open), and
// the About and update windows outside that list. Delivers page events to
// all of them or to those a name or folder picks, reuses a browser window
// by kind and key, and drops windows as they close.
//
// Threads: windows are added and removed on the main thread; the senders
// may run on any thread. They take a snapshot of the windows under the
// lock and deliver outside it, so a sender never holds the lock while it
// waits for the main thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/app/PageEvent.h"
#include "shell/windows/WindowDirectory.h"
#include "shell/windows/WindowRelay.h"

namespace nb {
class BrowserWebWindowController;
class LaunchpadWindowController;
class LoginWebWindowController;
}  // namespace nb

namespace nb::ui {
class Ui;
}

namespace nb::bridge {

// What a sender names beside the event: the library and folder of a file
// event, the window of an answer, the title of a message.
struct EventScope {
  std::optional<std::int64_t> mountId;
  std::optional<std::string> webpath;
  std::int64_t hwnd = 0;
  std::string title;
};

// What the quit question needs of the application state.
struct QuitState {
  bool bLogin = false;
  bool bNBNoteNeedSave = false;
  std::int64_t nAllTransCount = 0;
};

class WindowRegistry final : public WindowRelay,
                             public WindowDirectory,
                             public std::enable_shared_from_this<WindowRegistry> {
 public:
  WindowRegistry() = default;

  // Makes the process's registry and registers it as the window relay, the
  // window directory and the registry the page bridge finds.
  static std::shared_ptr<WindowRegistry> start();

  void setMainWindow(std::shared_ptr<LaunchpadWindowController> window);
  void setLoginWindow(std::shared_ptr<LoginWebWindowController> window);
  void setAboutWindow(std::shared_ptr<WebWindowController> window);
  void setUpdateWindow(std::shared_ptr<BrowserWebWindowController> window);
  std::shared_ptr<LaunchpadWindowController> mainWindow() const;
  std::shared_ptr<LoginWebWindowController> loginWindow() const;
  std::shared_ptr<WebWindowController> aboutWindow() const;
  std::shared_ptr<BrowserWebWindowController> updateWindow() const;
  std::vector<std::shared_ptr<BrowserWebWindowController>> browserWindows() const;

  // The open browser window of kind `solestr` and key `strKey`, else a new
  // one (with its page bridge) appended to the list. Main thread.
  std::shared_ptr<BrowserWebWindowController> getBrowserWebWindowController(
      ui::Ui& ui, const std::string& solestr, const std::string& strKey);
  // Appends a browser window made elsewhere.
  void addBrowserWindow(std::shared_ptr<BrowserWebWindowController> window);

  // The window with the platform window id `hwnd` shows `webpath` of the
  // library `mountId`.
  void setCurrent(std::int64_t mountId, const std::string& webpath, std::int64_t hwnd);
  // The windows showing any folder of the library / exactly `webpath`:
  // the main window first, then browser windows in list order.
  std::vector<std::shared_ptr<WebWindowController>> checkCurrent(std::int64_t mountId) const;
  std::vector<std::shared_ptr<WebWindowController>> checkCurrent(
      std::int64_t mountId, const std::string& webpath) const;

  // To every page: the main window, browser windows showing a library, and
  // the sign-in window only for "gCheckUpdate". Never the update window.
  void sendToAll(const PageEvent& event) const;
  // "PostMessage" with `message` to the windows `title` names: browser
  // windows of that title, the main window for "launchpad", the sign-in
  // window for "login"; all of them for "".
  void PostMessage(const std::string& message, const std::string& title) const;

  // Sends the event to the windows its route names (see PageEventRoutes.h);
  // an event that is no page event goes nowhere (and is logged).
  void deliver(const PageEvent& event, const EventScope& scope = {}) const;

  // Unpacks the note package `fullpath` (library `mountId`, path `webpath`)
  // into its own folder under `noteRoot` (by default "nbnote" of the
  // writable data copy) and sends "OpenFileFinish" to the main and browser
  // windows of `hwnd`. Nothing is sent when the package does not unpack or
  // holds no "index.html". Main thread.
  bool openNote(const std::string& fullpath, std::int64_t mountId, const std::string& webpath,
                std::int64_t hwnd, const std::string& noteRoot = {});

  // Quit chosen: quits through `quit` at once when there is no window to
  // ask, else asks the main (signed in) or sign-in page with "QuitNotice".
  void onMenuQuitAppClicked(const QuitState& state, const std::function<void()>& quit);

  // --- WindowDirectory ----------------------------------------------------------------
  void setAllCustomEvent(const PageEvent& event) override;
  std::vector<std::shared_ptr<BaseWebWindowController>> windowsShowing(
      std::int64_t mountId) override;
  std::vector<std::shared_ptr<BaseWebWindowController>> windowsShowing(
      std::int64_t mountId, const std::string& webpath) override;
  void sendToMain(const PageEvent& event, bool wait) override;
  void sendToUpdateWindow(const PageEvent& event) override;
  void reloadPages() override;

  // --- WindowRelay --------------------------------------------------------------------
  void gCloseCurrentPath(const std::string& json) override;
  void closeWindowsForLaunchpad(std::int64_t hwnd) override;
  void windowClosed(const std::shared_ptr<WebWindowController>& controller) override;

  // While set (the process is quitting) closing windows change nothing.
  void setBOut(bool out) { bOut_ = out; }
  bool bOut() const { return bOut_; }

 private:
  struct Snapshot {
    std::shared_ptr<LaunchpadWindowController> main;
    std::shared_ptr<LoginWebWindowController> login;
    std::vector<std::shared_ptr<BrowserWebWindowController>> browsers;
    std::shared_ptr<BrowserWebWindowController> update;
  };
  void sendToWindow(const PageEvent& event, std::int64_t hwnd) const;
  Snapshot snapshot() const;

  mutable std::mutex mutex_;
  std::shared_ptr<LaunchpadWindowController> main_;
  std::shared_ptr<LoginWebWindowController> login_;
  std::shared_ptr<WebWindowController> about_;
  std::shared_ptr<BrowserWebWindowController> update_;
  std::vector<std::shared_ptr<BrowserWebWindowController>> browsers_;
  std::atomic<bool> bOut_{false};
};

// The registry made at start-up; null takes it back.
void setWindowRegistry(std::shared_ptr<WindowRegistry> registry);
// The registered registry; null (and an error naming `caller`) when none is.
std::shared_ptr<WindowRegistry> currentWindowRegistry(const char* caller);

}  // namespace nb::bridge
