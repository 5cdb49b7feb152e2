// The session start after a sign-in and its end when the service refused the
// session: the per-user stores, the sync centre, the transfer engine and the
// LAN service, in the one order every sign-in path shares.

#include "api/calls/HTTPEngine.h"
#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "foundation/util/UserDefaults.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "shell/app/AppDelegate.h"
#include "shell/app/ApplicationActions.h"
#include "stores/cache/SyncCache.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/settings/SettingsDb.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SessionSeams.h"
#include "sync/centre/SyncCenter.h"
#include "transfer/engine/Network.h"
#include "transfer/lan/HttpThread.h"

namespace nb {

namespace {

UserInfo storedSignIn(UserData& user) {
  UserInfo info;
  info.userid = user.userID();
  info.refreshtoken = user.refreshToken();
  info.device = user.devicename();
  info.userinfo = user.jsonUserinfo();
  info.token = user.userToken();
  info.serverhost = user.strServerHost();
  return info;
}

std::string favoritesFolder(UserData& user, const std::shared_ptr<ServerInfo>& server) {
  std::string title = server ? server->strTitleName() : std::string();
  if (title.empty()) title = Util::localizedStringForKey("NubrenVesko");
  return user.getuserfolderpath() + "/" + title;
}

}  // namespace

void AppDelegate::startByLogin() {
  UserData& user = UserData::shareUserData();
  SettingsDb& settings = SettingsDb::shareSettingDb();
  if (bLinkNetwork_) {
    HTTPEngine::setAccountDevice(user.userToken(), user.getdevice(), user.getinfo(), 0);
  }
  const UserInfo record = storedSignIn(user);
  HTTPEngine::activateRefresh(record.token.value_or(""), record.refreshtoken.value_or(""));
  UserDefaults& defaults = UserDefaults::standardUserDefaults();
  defaults.setObject(std::to_string(record.userid), "vesko_crash_memberid");
  defaults.synchronize();

  setFavritePathString(favoritesFolder(user, serverInfo()));
  initFavoriteScan();
  if (bManuallogin_) {
    settings.clear_userinfo();
  } else {
    settings.setuserinfo(record);
  }
  setStrScreenPassword(settings.getScreenPassword(record.userid));
  bLockScreen_ = settings.getLockStatus(record.userid);
  showLockState(bLockScreen_);

  openSessionStores();
  startSessionEngines();
  user.setignore(Mountsdb::shareMountsdb().getIgnore());
  bLoginFinish_ = true;
  NBLOG_INFO("session started for member {}", record.userid);

  checkShortcuts();
  reloadAccountSettings(user.userToken());
}

void AppDelegate::openSessionStores() {
  UserData& user = UserData::shareUserData();
  Mountsdb& catalogue = Mountsdb::shareMountsdb();
  catalogue.setPath(user.getmountdb());
  const RetUserInfo info = HTTPEngine::getAccountInfo(user.userToken(), 0);
  if (info.nStatusCode() == 200 && info.nUserID > 0 && info.arrayFavorites) {
    catalogue.updateAllMagic(*info.arrayFavorites);
  }
  TransPortDB::shareTransPortDB().setPath(user.gettransdb());
  SyncCache::shareSyncCache().setPath(user.getcache());
  NBLOG_INFO("session stores open");
}

void AppDelegate::startSessionEngines() {
  SyncCenter::shareSyncCenter().setinit();
  SettingsDb& settings = SettingsDb::shareSettingDb();
  transfer::Network& network = transfer::Network::shareNetwork();
  network.SetUTaskMax(settings.getUploadMax());
  network.SetDTaskMax(settings.getDownloadMax());
  network.start();
  // The progress loops also keep the counts the dispatch loops wait on.
  network.startProgress();
  // One LAN service for the whole process: a later session in the same
  // process finds it running instead of binding its ports again.
  lan::HttpThread::shareHttpThread().checkHttp();
  NBLOG_INFO("sync centre, transfer engine and LAN service running");
}

void AppDelegate::checkShortcuts() {
  bool ok = false;
  const std::string json = HTTPEngine::getShortcuts(UserData::shareUserData().userToken(), ok, 0);
  if (ok) Mountsdb::shareMountsdb().addLinks(json);
}

void AppDelegate::logoutByError() {
  bLoginFinish_ = false;
  bLogin_ = false;
  bAutoLogin_ = false;
  bFinishCallback_ = false;
  transfer::Network::shareNetwork().exit();
  SyncCenter::shareSyncCenter().exit();
  TransPortDB::shareTransPortDB().exit();
  Mountsdb::shareMountsdb().exit();
  NBLOG_INFO("session ended");
}

}  // namespace nb
