#include "bridge/chrome/ScreenLock.h"

#include "api/session/UserData.h"
#include "foundation/text/StringHelpers.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "stores/settings/SettingsDb.h"

namespace nb::bridge {

ScreenLock::ScreenLock(AppDelegate& app, Options options) : app_(app), options_(std::move(options)) {}

std::string ScreenLock::digest(const std::string& password, const std::string& computerid) {
  return md5HexDigest(password + "-" + computerid);
}

SettingsDb& ScreenLock::store() const {
  return options_.store ? *options_.store : SettingsDb::shareSettingDb();
}

std::int64_t ScreenLock::userID() const {
  return options_.userID ? options_.userID() : UserData::shareUserData().userID();
}

std::string ScreenLock::computerid() const {
  return options_.computerid.empty() ? UserData::shareUserData().computerid()
                                     : options_.computerid;
}

void ScreenLock::post(const std::function<void()>& hook, const char* what) const {
  if (!hook) {
    NBLOG_ERROR("screen lock: nothing is registered to {}", what);
    return;
  }
  platform::MainThread::post(hook);
}

void ScreenLock::setPassword(bool enable, const std::string& password) {
  if (enable) {
    app_.setStrScreenPassword(digest(password, computerid()));
    store().setScreenPassword(userID(), app_.strScreenPassword());
    return;
  }
  const bool wasLocked = app_.bLockScreen();
  app_.setStrScreenPassword("");
  store().deleteScreenPassword(userID());
  app_.setBLockScreen(false);
  // The locked menu would otherwise stay, offering only log-out and quit.
  if (wasLocked) post(options_.unlockScreenDone, "show the normal menu");
}

bool ScreenLock::lock() {
  if (!isSet()) {
    NBLOG_WARN("lock refused: no lock password is set");
    return false;
  }
  app_.setBLockScreen(true);
  store().setLockStatus(userID(), true);
  post(options_.lockScreenDone, "lock the windows");
  return true;
}

bool ScreenLock::unlock(const std::string& password) {
  const std::string expected = app_.strScreenPassword();
  if (expected.empty() || digest(password, computerid()) != expected) return false;
  app_.setBLockScreen(false);
  store().setLockStatus(userID(), false);
  post(options_.unlockScreenDone, "show the normal menu");
  return true;
}

}  // namespace nb::bridge
