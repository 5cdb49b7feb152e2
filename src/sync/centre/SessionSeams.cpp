#include "sync/centre/SessionSeams.h"

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "platform/Log.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/settings/SettingsDb.h"
#include "sync/centre/SyncCenter.h"

namespace nb {

void registerSessionSeams() {
  SessionHooks hooks = UserData::sessionHooks();
  hooks.clearuserinfo = &clearStoredSignIn;
  hooks.reloadAccountSettings = [](const std::string& token) { reloadAccountSettings(token); };
  UserData::setSessionHooks(std::move(hooks));
}

void clearStoredSignIn() { SettingsDb::shareSettingDb().clearuserinfo(); }

bool reloadAccountSettings(const std::string& token) {
  const RetSettingList ret = HTTPEngine::getAccountSetting(token, 0);
  if (ret.nStatusCode() != 200) {
    NBLOG_WARN("account settings not reloaded: httpcode={}", ret.nStatusCode());
    return false;
  }
  const std::vector<SettingItem> settings =
      ret.itemlist.value_or(std::vector<SettingItem>{});
  Mountsdb& catalogue = Mountsdb::shareMountsdb();
  catalogue.removeSettings();
  for (const SettingItem& item : settings) catalogue.addSetting(item);
  // Replaced whole, so an upload deciding its delay meanwhile never finds
  // the list empty.
  SyncCenter::shareSyncCenter().delaySyncFile().replaceWithSettings(settings);
  return true;
}

}  // namespace nb
