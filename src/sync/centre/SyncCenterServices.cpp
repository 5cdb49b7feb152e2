// The sync centre's services across libraries: local copies by content
// hash, locks of opened files, the store report, store folder removal.
#include <filesystem>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilUrl.h"
#include "foundation/util/UtilZip.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/operations/Network.h"
#include "sync/operations/PageNotices.h"
#include "sync/operations/UploadZip.h"

namespace nb {

namespace {
// Organisations of this type keep no server locks.
constexpr int64_t kOrgTypeNoLock = 20;
}  // namespace

std::string SyncCenter::get_local_hash(const std::string& filehash) const {
  for (const auto& manager : synclist()) {
    if (!manager->linkfolder().haveNode()) continue;
    const std::string webpath = manager->syncdb().get_synced_hash(filehash);
    if (webpath.empty()) continue;
    const std::string local = manager->getnormalpath(webpath);
    if (local.empty()) continue;
    // An edit the watcher has not yet seen changes the file under a synced
    // row: serving it would hand peers other content than the hash names.
    const SyncFileItem row = manager->syncdb().get_single_file(webpath);
    if (Util::isfile(local) && Util::filesize(local) == row.ullFileSize &&
        Util::filemodifytime(local) == row.ullLastTime) {
      return local;
    }
  }
  return {};
}

void SyncCenter::lockPath(const std::string& fullpath) {
  const OpenTransportItem record = TransPortDB::shareTransPortDB().CheckNeedLock(fullpath);
  if (record.nMountid == 0) return;
  const auto app = Util::getAppDelegate();
  if (!app->bLinkNetwork()) {
    app->setGrowlNotificationDescripation(Util::localizedStringForKey("网络未连接"), std::nullopt);
    return;
  }
  const auto manager = GetSyncManager(record.nMountid);
  if (manager && manager->mountinfo().nOrgType == kOrgTypeNoLock) return;
  const UserData& user = UserData::shareUserData();
  const RequestRet ret = HTTPEngine::setFileLock(user.userToken(), record.strWebpath,
                                                 record.nMountid, "lock", 0);
  if (ret.nStatusCode() != 200) {
    app->setGrowlNotificationDescripation(Util::getChangeTokenError(ret.strErrorMsg()), std::nullopt);
    return;
  }
  if (!manager) return;
  manager->syncdb().update_lock(record.strWebpath, 2, user.userID());
  const std::string local = manager->getnormalpath(record.strWebpath);
  if (!local.empty()) Util::setfilereadwirte(local);
  sendUpdateFileInfo(*manager, manager->syncdb().get_single_file(record.strWebpath));
  if (app->bPromptMessage()) {
    const std::string name = std::filesystem::path(record.strWebpath).filename().string();
    std::string text = Util::localizedStringForKey("editlock");
    const auto mark = text.find("%@");
    text = mark == std::string::npos ? text + " " + name : text.replace(mark, 2, name);
    app->setGrowlNotificationDescripation(text, std::nullopt);
  }
}

namespace {

// Through the shared store when it has `path` open, else from the file.
bool backupStore(MySqlite& store, const std::string& path, const std::string& destination) {
  return store.strFilePath() == path ? store.backupTo(destination)
                                     : MySqlite::backupFileTo(path, destination);
}

}  // namespace

bool SyncCenter::zipsyncdb(const std::string& folder) {
  const std::string copies = folder + "/synczip/";
  Util::createfolder(copies);
  // The stores stay open and in use meanwhile: each copy is taken through
  // the store's own connection, so no write lands half-way through it. A
  // failed copy leaves that store out; the report holds what could be read.
  const UserData& user = UserData::shareUserData();
  backupStore(TransPortDB::shareTransPortDB(), user.gettransdb(), copies + "vetransex3.db");
  backupStore(Mountsdb::shareMountsdb(), user.getmountdb(), copies + "vemountex3.db");
  for (const auto& manager : synclist()) {
    manager->syncdb().backupTo(copies + std::to_string(manager->_nMountID()) + ".db");
  }
  // An archive of nothing is never written: no store could be copied.
  const std::string zip = folder + "/synczip.zip";
  if (!Util::zip(copies, zip) || !Util::isfile(zip)) return false;
  Util::deletefolder(copies, false);
  return true;
}

void SyncCenter::zipdb() {
  const std::string folder = UserData::shareUserData().getuserfolderpath();
  if (!zipsyncdb(folder)) return;
  Util::getAppDelegate()->taskQueue()->addOperation(
      std::make_shared<UploadZip>(folder + "/synczip.zip", "data"));
}

void SyncCenter::resetsync() {
  for (const auto& manager : synclist()) manager->resetall();
}

bool SyncCenter::check_dir_legecy(const std::string& path, std::string& linkpath) const {
  for (const auto& manager : synclist()) {
    if (!manager->check_dir_legecy(path, linkpath)) return false;
  }
  return true;
}

std::string SyncCenter::getlinkpathjson() const {
  std::vector<JsonValue> list;
  for (const auto& manager : synclist()) manager->getlinkpathjson(list);
  return JSONString(JsonValue::object({{"list", JsonValue::array(std::move(list))}}))
      .value_or(R"({"list":[]})");
}

void SyncCenter::StartSync() { UserData::shareUserData().setBTransStart(true); }

void SyncCenter::StopSync() {
  UserData::shareUserData().setBTransStart(false);
  Network::shareNetwork()->StopDownloadAll();
  Network::shareNetwork()->StopUploadAll();
}

std::string SyncCenter::getsynctranscachepath() {
  const std::string folder = UserData::shareUserData().getuserfolderpath() + "/0";
  Util::createfolder(folder);
  return folder + "/cache";
}

}  // namespace nb
