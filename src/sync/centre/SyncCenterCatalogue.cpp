// The sync centre's libraries: managers made from the catalogue.
#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "stores/catalogue/Mountsdb.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb {

bool SyncCenter::createmount(const MountItem& mount) {
  auto manager = SyncManager::initwithmount(mount, *this);
  {
    std::lock_guard lock(mutex_);
    synclist_.push_back(manager);
  }
  manager->start();
  return true;
}

int SyncCenter::loadmounts() {
  const std::vector<MountItem> mounts = Mountsdb::shareMountsdb().getMounts();
  if (mounts.empty()) return 1;
  const auto app = Util::getAppDelegate();
  for (const auto& mount : mounts) {
    if (const auto manager = GetSyncManager(mount.nMountID)) {
      manager->setpermisson();
      continue;
    }
    createmount(mount);
    if (!bFirst_) {
      if (const auto event = PageEvent::fromJsonText("AddOrgObject", mount.strInfo)) {
        app->setAllCustomEvent(*event);
      }
    }
  }
  // Every manager made above cleared the mark of the favourites it uses.
  if (bFirst_) app->initFavoriteClear();
  bFirst_ = false;
  bInit_ = true;
  return 0;
}

// The libraries come from the stored catalogue; the diff against the
// server's lists (enterprises, libraries, their page events) feeds that
// catalogue before this reads it.
int SyncCenter::getDataFromServer() {
  if (bOut_) return -1;
  return loadmounts();
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
