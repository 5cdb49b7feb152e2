#pragma once
// The application's chrome around the web windows: the status item and
// its menus, the "Open", lock and help actions, the in-app screen lock,
// the screenshot hot key, and the housekeeping loop. Start-up makes one
// with start() once the UI, the window registry and the application state
// are registered; the lock page functions find it through current().
//
// Threads: main thread only, except current().

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/chrome/ScreenLock.h"
#include "shell/app/AppDelegate.h"
#include "shell/chrome/ScreenshotHotKey.h"
#include "shell/chrome/StatusItemView.h"
#include "shell/housekeeping/TimerThread.h"
#include "shell/ui/GlobalHotKey.h"
#include "shell/ui/Ui.h"

namespace nb {
class WebWindowController;
}

namespace nb::bridge {

class AppChrome {
 public:
  // What belongs to other parts of the shell. Each unset action logs an
  // error naming what is missing when the user picks it.
  struct Actions {
    // The main window; unset: the application state's showLaunchpadForTab
    // with no tab.
    std::function<void()> showMain;
    std::function<void()> showSignIn;  // the sign-in window
    std::function<void()> settings;    // the settings window
    std::function<void()> logout;      // the log-out question
    std::function<void()> quit;        // ends the process once the pages agreed
    std::function<void()> about;       // the About window
  };
  struct Options {
    Actions actions;
    StatusItemView::Options statusItem;
    ScreenLock::Options screenLock;  // its two hooks are AppChrome's own
    // Unset: the real sources. Tests pass their own.
    std::optional<TimerThread::Sources> housekeeping;
    bool startHousekeeping = true;
  };

  // Makes the chrome, shows the status item with the normal menu, grabs the
  // stored hot key, starts the one-second tick and the housekeeping loop,
  // and registers the result for current(). Null (with an error) without a
  // registered UI.
  static std::shared_ptr<AppChrome> start(std::shared_ptr<AppDelegate> app, Options options);
  static std::shared_ptr<AppChrome> start(std::shared_ptr<AppDelegate> app);
  // Takes the registration back and stops the tick and the loop.
  static void stop();
  // The started chrome; null (and an error naming `caller`) before.
  static std::shared_ptr<AppChrome> current(const char* caller);

  AppChrome(std::shared_ptr<AppDelegate> app, std::shared_ptr<ui::Ui> ui, Options options);
  ~AppChrome();
  AppChrome(const AppChrome&) = delete;
  AppChrome& operator=(const AppChrome&) = delete;

  // --- Menu actions ---------------------------------------------------------------
  // "Open" / "Unlock": the main window when signed in, else the sign-in
  // window (unless an automatic sign-in or a sign-in is under way).
  void onMenuOpenNubrenClicked();
  // "Lock screen": opens, then asks the main page for the lock password.
  void onLockLauchpad();
  // The online help in the default browser.
  void onMenuHelperWebClicked();
  void onMenuQuitAppClicked();

  // --- Lock -----------------------------------------------------------------------
  // Normal menu.
  void setUnlockScreenDone();
  // Closes the About window, hides the main and browser windows, locked menu.
  void setLockScreenDone();
  void setUnlockScreenDoneOnMainThread();
  void setLockScreenDoneOnMainThread();
  ScreenLock& screenLock() { return screenLock_; }

  // --- Hot key --------------------------------------------------------------------
  // A forwarded request ("--screenshot" from a desktop shortcut, where no
  // global key can be grabbed): a capture as if the hot key was pressed.
  void screenshotRequested();
  // A key in one of our windows: the hot key, the window shortcuts (Ctrl
  // with Q quit, H hide our windows, W close the window, M minimise it),
  // and Escape released leaving the main window's full screen. True: the
  // page does not get the key.
  bool keyInWindow(ui::WebWindow& window, const ui::KeyEvent& event);
  // "隐藏 Nubren": hides the main and browser windows.
  void hideWindows();
  // The application menu every window's header bar offers: the
  // application's own items under its title, then edit, window and help.
  ui::AppMenu applicationMenu();
  // A new hot-key setting (key names as AppDelegate::SetHotKey takes them),
  // grabbed at once. start() registers this as the hot-key registrar.
  void SetHotKey(const std::vector<std::string>& keys);
  // One tick: the status item follows the state, the grab follows the
  // hot-key setting, the application menu the deployment's name.
  void tick();

  StatusItemView& statusItemView() { return *statusItemView_; }
  ScreenshotHotKey& screenshotHotKey() { return *hotKey_; }
  TimerThread* timerThread() { return timerThread_.get(); }

 private:
  void syncHotKeyGrab();
  // The application menu's title: the deployment's name, else ours.
  std::string applicationTitle() const;
  StatusMenuActions menuActions();
  // As the title bar's close button on the window `hwnd`, when it is ours.
  void closeWindow(std::int64_t hwnd);
  void minimizeWindow(std::int64_t hwnd);
  // Our window numbered `hwnd`; null when it is none of ours.
  std::shared_ptr<WebWindowController> windowNumbered(std::int64_t hwnd, const char* why);
  static void missing(const char* what);

  // Whatever the chrome hands out (menu entries, posted jobs, the key
  // grab's handler) runs only while this lives. First: the constructor
  // hands it out.
  const std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  const std::shared_ptr<AppDelegate> app_;
  const std::shared_ptr<ui::Ui> ui_;
  const Actions actions_;
  ScreenLock screenLock_;
  std::unique_ptr<StatusItemView> statusItemView_;
  std::shared_ptr<ScreenshotHotKey> hotKey_;
  std::unique_ptr<ui::GlobalHotKey> grab_;
  std::optional<std::pair<std::string, unsigned>> grabbed_;  // key and modifier value
  std::unique_ptr<TimerThread> timerThread_;
  unsigned timer_ = 0;  // the GLib source of the tick
  std::string menuTitle_;  // the application menu's title as last set
};

}  // namespace nb::bridge
