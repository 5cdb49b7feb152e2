// The sync centre's libraries: managers made from the catalogue.
#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "stores/catalogue/Mountsdb.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb {

bool SyncCenter::createmount(const MountItem& mount, const std::stop_token& stop) {
  std::lock_guard creating(createLock_);
  if (sessionEnded(stop) || GetSyncManager(mount.nMountID)) return true;
  auto manager = SyncManager::initwithmount(mount, *this);
  bool registered = false;
  {
    std::lock_guard lock(mutex_);
    // exit() empties the registry under this lock: a session that ended
    // while the manager was made must not find it in the next one.
    if (!sessionEnded(stop)) {
      synclist_.push_back(manager);
      registered = true;
    }
  }
  if (!registered) {
    manager->exit();
    for (const auto& link : manager->linkfolder().getLinkNodes()) {
      stopWatch(link.strFullPath, manager);
    }
    return true;
  }
  manager->start();
  return true;
}

int SyncCenter::loadmounts(const std::stop_token& stop) {
  const std::vector<MountItem> mounts = Mountsdb::shareMountsdb().getMounts();
  if (mounts.empty()) return 1;
  const auto app = Util::getAppDelegate();
  for (const auto& mount : mounts) {
    if (const auto manager = GetSyncManager(mount.nMountID)) {
      manager->setpermisson();
      continue;
    }
    createmount(mount, stop);
    if (!bFirst_) {
      if (const auto event = PageEvent::fromJsonText("AddOrgObject", mount.strInfo)) {
        app->setAllCustomEvent(*event);
      }
    }
  }
  // The flags belong to the session that is running now.
  if (sessionEnded(stop)) return 0;
  // Every manager made above cleared the mark of the favourites it uses.
  if (bFirst_) app->initFavoriteClear();
  bFirst_ = false;
  bInit_ = true;
  return 0;
}

void SyncCenter::resetFavorites() {
  const RetFavoritesList ret =
      HTTPEngine::getFavoritesList(UserData::shareUserData().userToken(), 0);
  if (ret.nStatusCode() != 200) return;
  Mountsdb& catalogue = Mountsdb::shareMountsdb();
  catalogue.removeFavorites();
  catalogue.addFavorites(ret.itemlist.value_or(std::vector<FavoritesItem>{}));
}

}  // namespace nb
