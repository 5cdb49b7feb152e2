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
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/app/PageEvent.h"
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

class WindowRegistry final : public WindowRelay,
                             public std::enable_shared_from_this<WindowRegistry> {
 public:
  WindowRegistry() = default;

  void setMainWindow(std::shared_ptr<LaunchpadWindowController> window);
  void setLoginWindow(std::shared_ptr<LoginWebWindowController> window);
  void setAboutWindow(std::shared_ptr<WebWindowController> window);
  void setUpdateWindow(std::shared_ptr<BrowserWebWindowController> window);
  std::shared_ptr<LaunchpadWindowController> mainWindow() const;
  std::shared_ptr<LoginWebWindowController> loginWindow() const;
  std::shared_ptr<WebWindowController> aboutWindow() const;
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
  void setAllCustomEvent(const PageEvent& event) const;
  // "PostMessage" with `message` to the windows `title` names: browser
  // windows of that title, the main window for "launchpad", the sign-in
  // window for "login"; all of them for "".
  void PostMessage(const std::string& message, const std::string& title) const;

  // --- WindowRelay --------------------------------------------------------------------
  void gCloseCurrentPath(const std::string& json) override;
  void closeWindowsForLaunchpad(std::int64_t hwnd) override;
  void windowClosed(const std::shared_ptr<WebWindowController>& controller) override;

  // While set (the process is quitting) closing windows change nothing.
  void setBOut(bool out) { bOut_ = out; }

 private:
  struct Snapshot {
    std::shared_ptr<LaunchpadWindowController> main;
    std::shared_ptr<LoginWebWindowController> login;
    std::vector<std::shared_ptr<BrowserWebWindowController>> browsers;
  };
  Snapshot snapshot() const;

  mutable std::mutex mutex_;
  std::shared_ptr<LaunchpadWindowController> main_;
  std::shared_ptr<LoginWebWindowController> login_;
  std::shared_ptr<WebWindowController> about_;
  std::shared_ptr<BrowserWebWindowController> update_;
  std::vector<std::shared_ptr<BrowserWebWindowController>> browsers_;
  std::atomic<bool> bOut_{false};
};

}  // namespace nb::bridge
