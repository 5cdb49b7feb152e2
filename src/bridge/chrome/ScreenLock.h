#pragma once
// The in-app screen lock: the signed-in user's lock password (kept only as
// a digest bound to this computer) and whether the lock is on, in the
// application state and, per user, in the settings store. Switching the
// windows and the status menu is left to the two hooks, posted to the main
// thread.
//
// Threads: main thread (the page functions run there).

#include <cstdint>
#include <functional>
#include <string>

#include "shell/app/AppDelegate.h"

namespace nb {
class SettingsDb;
}

namespace nb::bridge {

class ScreenLock {
 public:
  struct Options {
    SettingsDb* store = nullptr;                 // null: the shared settings store
    std::function<std::int64_t()> userID;        // unset: the session's user
    std::string computerid;                      // empty: the session's
    std::function<void()> lockScreenDone;        // hide the windows, locked menu
    std::function<void()> unlockScreenDone;      // normal menu
  };

  // `app` must outlive the lock.
  ScreenLock(AppDelegate& app, Options options);

  // Lower-case hex MD5 of "<password>-<computerid>".
  static std::string digest(const std::string& password, const std::string& computerid);

  // Enabling stores the digest of `password` (the lock state unchanged);
  // disabling forgets the password and lifts the lock, the menu included.
  void setPassword(bool enable, const std::string& password);
  // Locks; refused (false) while no password is set, since nothing could
  // unlock then.
  bool lock();
  // Unlocks when `password` is the one set; false otherwise.
  bool unlock(const std::string& password);
  bool isSet() const { return !app_.strScreenPassword().empty(); }
  bool isLocked() const { return app_.bLockScreen(); }

 private:
  SettingsDb& store() const;
  std::int64_t userID() const;
  std::string computerid() const;
  void post(const std::function<void()>& hook, const char* what) const;

  AppDelegate& app_;
  const Options options_;
};

}  // namespace nb::bridge
