#include "sync/centre/SyncManager.h"

#include <algorithm>

#include "api/session/UserData.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/AbsoluteTime.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncStates.h"
#include "sync/links/FavoriteLink.h"
#include "sync/links/LibraryPaths.h"
#include "sync/operations/Network.h"

namespace nb {

SyncManager::SyncManager(const MountItem& mount)
    : nMountID_(mount.nMountID),
      nOrgID_(mount.nOrgID),
      nEntID_(mount.nEntID),
      strMountName_(mount.strOrgName),
      mountinfo_(mount) {}

SyncManager::~SyncManager() { bOut_ = true; }

std::shared_ptr<SyncManager> SyncManager::initwithmount(const MountItem& mount,
                                                         SyncCenter& center) {
  std::shared_ptr<SyncManager> manager(new SyncManager(mount));
  manager->nPermissions = Permission::kAll;
  manager->openStore();
  manager->initCursor();
  manager->overwrite_.addNodes(manager->syncdb_->get_overwrites());
  manager->initLinks(center);
  manager->initCaches();
  manager->setpermisson();
  return manager;
}

std::string SyncManager::getsyncdbpath(int64_t mountId) {
  return links::getsyncdbpath(UserData::shareUserData(), mountId);
}

std::string SyncManager::getsynctranscachepath() const {
  return links::getsynctranscachepath(UserData::shareUserData(), nMountID_);
}

std::string SyncManager::gGetNormalSyncPath(const std::string& webpath) {
  return links::gGetNormalSyncPath(UserData::shareUserData(), syncdb_.get(), _strMountName(),
                                   webpath);
}

std::string SyncManager::gCheckEmpty(const std::string& webpath, bool dir) const {
  return links::gCheckEmpty(linkfolder_, webpath, dir);
}

void SyncManager::openStore() {
  const std::string path = getsyncdbpath(nMountID_);
  syncdb_ = Syncdb::initpath(path);
  if (!syncdb_) {
    // The library still works with what an empty store answers; its state
    // is fetched again from the server.
    NBLOG_ERROR("SyncManager {} cannot open its store {}", nMountID_, path);
    syncdb_ = Syncdb::unopened();
  }
}

void SyncManager::initCursor() {
  syncdb_->insert_total_version("/");
  ullCompareTime = syncdb_->get_total_version("/").ullDateline;
  if (ullCompareTime == 0 && syncdb_->checkHaveFileInfo() == 0) bFirstCompare = true;
}

void SyncManager::initLinks(SyncCenter& center) {
  for (auto& link : syncdb_->get_links()) {
    if (!Util::isdir(link.strFullPath)) {
      unlinkMissing(link);
      continue;
    }
    const std::string local = link.strFullPath;
    linkfolder_.addNode(std::move(link));
    center.startWatch(local, shared_from_this());
    addFavoriteLink(local);
  }
}

// A linked folder deleted while the client was away: the link goes and its
// web path is read afresh from the server; nothing local is touched.
void SyncManager::unlinkMissing(const LinkFolderNode& link) {
  NBLOG_ERROR("folder not exist {}", link.strFullPath);
  syncdb_->remove_link(link.strWebPath, true);
  TransPortDB::shareTransPortDB().RemoveWebpathUnFinish(nMountID_, link.strWebPath);
  Network::shareNetwork()->ClearTrans(link.strWebPath, nMountID_);
  syncdb_->inset_sync_now(link.strWebPath, link.bDir, false);
}

void SyncManager::initCaches() {
  auto caches = syncdb_->get_caches();
  for (const auto& cache : caches) SyncCache::shareSyncCache().addCacheByPath(cache.strFullPath);
  cachefolder_.addNodes(std::move(caches));
}

void SyncManager::start() {
  bStart_ = true;
  bScaned = false;
  startCanCompare();
  InitTrans();
}

bool SyncManager::checkCanCompare() const {
  const int64_t done = nCompareDoneCount;
  if (done == 0) return true;
  const double wait = std::min(kMaxCompareWait, kCompareWaitPerNotice * static_cast<double>(done));
  return absoluteTime() > ftCompareDoneTime + wait;
}

void SyncManager::setCanCompare() {
  ++nCompareCount;
  bNeedCompare = true;
}

void SyncManager::resetCanCompare() {
  bNeedCompare = false;
  nCompareDoneCount = nCompareCount.load();
  ftCompareDoneTime = absoluteTime();
  nCompareCount = 0;
}

void SyncManager::startCanCompare() {
  bNeedCompare = true;
  nCompareCount = 0;
  nCompareDoneCount = 0;
  ftCompareDoneTime = 0.0;
}

std::string SyncManager::_strMountName() const {
  std::lock_guard lock(fieldsMutex_);
  return strMountName_;
}

void SyncManager::set_strMountName(std::string name) {
  std::lock_guard lock(fieldsMutex_);
  strMountName_ = std::move(name);
}

MountItem SyncManager::mountinfo() const {
  std::lock_guard lock(fieldsMutex_);
  return mountinfo_;
}

}  // namespace nb
