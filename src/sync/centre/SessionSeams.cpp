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
  Mountsdb& catalogue = Mountsdb::shareMountsdb();
  DelaySyncFile& delayList = SyncCenter::shareSyncCenter().delaySyncFile();
  catalogue.removeSettings();
  delayList.clear();
  for (const SettingItem& item : ret.itemlist.value_or(std::vector<SettingItem>{})) {
    catalogue.addSetting(item);
    if (item.strSetting == SettingItem::kDelaySyncFile) delayList.addNode(item.strProperty);
  }
  return true;
}

}  // namespace nb
