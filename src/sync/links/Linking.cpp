// Linking a library folder to a local folder and unlinking it again.
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilSession.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/links/FavoriteLink.h"
#include "sync/links/SafeWebPath.h"
#include "sync/operations/Network.h"

namespace nb {
namespace {

// The folder row a newly linked library folder gets when the store has
// none: made here, uploaded by the next pass.
SyncFileItem linkedFolderRow(const std::string& webpath, const std::string& folder) {
  const UserData& user = UserData::shareUserData();
  SyncFileItem row;
  row.strWebPath = webpath;
  row.bDir = true;
  row.ullLastTime = Util::filemodifytime(folder);
  row.nLastID = user.userID();
  row.strLastName = user.userWebName();
  row.ullCreatorTime = platform::nowSeconds();
  row.nStatus = SyncStatus::kUploadPending;
  return row;
}

}  // namespace

bool SyncManager::add_link(const std::string& webpath, const std::string& fullpath,
                           bool bOverWrite, int64_t type) {
  if (!isSafeWebPath(webpath)) {
    NBLOG_WARN("SyncManager {}: link refused for unsafe web path '{}'", nMountID_, webpath);
    return true;
  }
  const std::string folder = lastremoveslash(fullpath);
  Util::createfolder(folder);
  if (!webpath.empty() && syncdb_->get_single_file(webpath).nStatus == SyncStatus::kNotFound) {
    SyncFileItem row = linkedFolderRow(webpath, folder);
    row.nUpID = getFileUpID(webpath);
    if (row.nUpID == -1) NBLOG_ERROR("getFileUpID error {}", webpath);
    syncdb_->add_new_file(row);
  }

  LinkFolderNode node{webpath, folder, true, type};
  linkfolder_.addNode(node);
  syncdb_->add_link(node);
  syncdb_->add_oldlink(node);
  reset_sync(webpath, true, bOverWrite);

  // The copies of cache-mode folders inside the link stay in the general
  // content cache, where the link's downloads find them again.
  const std::string general = UserData::shareUserData().getcache();
  for (const auto& cache : takeCachesAt(webpath)) {
    SyncCache::shareSyncCache().moveCacheByPath(cache.strFullPath, general);
    SyncCache::shareSyncCache().deleteCacheByPath(cache.strFullPath);
  }

  SyncCenter::shareSyncCenter().startWatch(folder, shared_from_this());
  addFavoriteLink(folder);
  return true;
}

void SyncManager::remove_link(const std::string& webpath) {
  const std::string lower = lowercaseString(webpath);
  std::string folder;
  for (const auto& link : linkfolder_.getLinkNodes()) {
    if (lowercaseString(link.strWebPath) != lower) continue;
    folder = lastremoveslash(link.strFullPath);
    break;
  }
  if (!linkfolder_.removeByWebPath(webpath, true)) return;

  Util::getAppDelegate()->deleteFavorite(folder);
  removelink(folder);
  syncdb_->remove_link(webpath, true);
  reset_sync(webpath, true, false);
  TransPortDB::shareTransPortDB().RemoveWebpathUnFinish(nMountID_, webpath);
  Network::shareNetwork()->ClearTrans(webpath, nMountID_);
}

void SyncManager::removelink(const std::string& fullpath) {
  SyncCenter::shareSyncCenter().stopWatch(fullpath, shared_from_this());
}

std::vector<CacheFolderItem> SyncManager::takeCachesAt(const std::string& webpath) {
  std::vector<CacheFolderItem> removed;
  if (cachefolder_.removeByWebPath(webpath, removed)) syncdb_->remove_cache(webpath, false);
  return removed;
}

}  // namespace nb
