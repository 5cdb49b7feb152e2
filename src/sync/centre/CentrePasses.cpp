#include "sync/centre/CentrePasses.h"

#include <mutex>

#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "platform/MainThread.h"
#include "stores/cache/SyncCache.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb {

void CentrePasses::prepare() {
  if (const auto setting = Mountsdb::shareMountsdb().getSetting("delay_sync_file")) {
    center_.delaySyncFile().addNode(setting->strProperty);
  }
}

bool CentrePasses::bOut() { return center_.bOut() || stop_.stop_requested(); }
bool CentrePasses::bSocketIO() { return center_.bSocketIO(); }
bool CentrePasses::bRegetServer() { return center_.bRegetServer(); }
bool CentrePasses::bCompareNow() { return center_.bCompareNow(); }

bool CentrePasses::retryRenames() {
  if (stop_.stop_requested()) return false;
  bool started = false;
  for (const auto& manager : center_.synclist()) {
    if (!manager->bStart()) continue;
    started = true;
    std::lock_guard lock(*manager);
    manager->check_rename_and_remove();
  }
  return started;
}

void CentrePasses::trimCache() { SyncCache::shareSyncCache().cleanBySize(SyncCenter::kCacheBudget); }

double CentrePasses::catalogueBackupTime() { return Mountsdb::shareMountsdb().ftBackupTime(); }

void CentrePasses::backupStores() {
  Mountsdb::shareMountsdb().backup();
  TransPortDB::shareTransPortDB().backup();
}

int CentrePasses::refreshCatalogue() {
  const auto app = Util::getAppDelegate();
  if (center_.bFirst()) {
    app->setBResetHotFile(true);
    center_.resetFavorites();
  }
  if (stop_.stop_requested()) return -1;
  int result = 0;
  if (app->bLinkNetwork()) {
    result = center_.getDataFromServer();
  } else if ((result = center_.loadmounts()) == 1) {
    result = center_.getDataFromServer();
  }
  // A session that ended meanwhile gets no more of this coordinator's work.
  return stop_.stop_requested() ? -1 : result;
}

void CentrePasses::afterRefresh() {
  if (stop_.stop_requested()) return;
  center_.setBFirst(false);
  const auto app = Util::getAppDelegate();
  UserData& user = UserData::shareUserData();
  // While the screen is locked the request stays for the next refresh.
  if (user.bShowLaunchpad() && !app->bLockScreen()) {
    platform::MainThread::post([app] { app->showLaunchpadForTab(""); });
    user.setBShowLaunchpad(false);
  }
  if (app->bNeedLoading()) {
    app->loadFinishForLaunchpad();
    app->setBNeedLoading(false);
  }
  center_.resetcomparenow();
  center_.setBRegetServer(false);
}

bool CentrePasses::compareQueueEmpty() { return center_.taskqueue().operationCount() == 0; }

void CentrePasses::startCycle() {
  if (stop_.stop_requested()) return;
  center_.compareproc();
  center_.setBCompareNow(false);
}

}  // namespace nb
