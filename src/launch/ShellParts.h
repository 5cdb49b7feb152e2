#pragma once
// The parts of the shell that start-up brings up at their own step and that
// live until the process ends: the SDK sign-in listener, the hidden update
// window and the application chrome (status item, menus, hot key,
// housekeeping). The answers other layers find through them (the lock
// menu, notification clicks, pushed shortcut changes, the settings window)
// are registered once with registerShellAnswers(), before any of them
// starts; each looks its part up when it is used.
//
// Threads: main thread.

#include <memory>
#include <string>
#include <vector>

namespace nb {
class AppDelegate;
class SdkSignIn;
}  // namespace nb

namespace nb::bridge {
class AppChrome;
}

namespace nb::launch {

// Registers what the lower layers reach the chrome and the windows through.
void registerShellAnswers(const std::shared_ptr<AppDelegate>& app);

// Opens (or brings forward) the settings page in its browser window.
void openSettingsWindow();

class ShellParts {
 public:
  explicit ShellParts(std::shared_ptr<AppDelegate> app);
  ~ShellParts();
  ShellParts(const ShellParts&) = delete;
  ShellParts& operator=(const ShellParts&) = delete;

  // Listens for sign-in requests of other local programs on the session
  // bus; without a bus they go unheard (logged).
  void startSdkSignIn();
  // Makes the hidden update window and registers it; it is shown when an
  // update is offered or a page asks for it.
  void initUpdateDlg();
  // Status item with the normal menu, the stored hot key's grab and the
  // housekeeping loop. Without a display there is none (logged).
  void initStateIconAndMenu();
  // The hot key (its key names): grabbed at once when the chrome is up;
  // the application state takes it in any case.
  void SetHotKey(const std::vector<std::string>& keys);
  // Quit or log-out: the listener stops and the chrome's registrations are
  // taken back; the chrome itself goes with this object. Repeating it does
  // nothing.
  void stop();

 private:
  const std::shared_ptr<AppDelegate> app_;
  std::unique_ptr<SdkSignIn> sdk_;
  std::shared_ptr<bridge::AppChrome> chrome_;
};

}  // namespace nb::launch
