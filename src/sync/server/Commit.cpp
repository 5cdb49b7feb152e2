// The end of every compare pass: local deletions go to the server, server
// deletions reach the local tree, and the copy list ages. Also the marks
// that ask for a fresh comparison of a path or of every link.
#include <exception>
#include <mutex>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb {

namespace {

// Server answers of a deletion.
constexpr int64_t kTokenExpired = 40101;
constexpr int64_t kTokenInvalid = 40102;
constexpr int64_t kRefused = 40310;
constexpr int64_t kGone = 40402;

}  // namespace

void SyncManager::commit() {
  std::vector<DeferredCompare> deferred;
  {
    std::lock_guard lock(controllock_);
    check_syncdb_delete();
    check_and_clear_copylist();
    deferred.swap(deferredCompares_);
  }
  // compare_now takes controllock per entry it applies.
  for (const auto& compare : deferred) compare_now(compare.webpath, compare.dir, compare.property);
}

void SyncManager::check_syncdb_delete() {
  try {
    for (const auto& row : syncdb_->get_all_deleted_dir()) {
      if (!settleDeletion(row)) return;
    }
    // Read after the folders: files under a settled folder are gone by now.
    for (const auto& row : syncdb_->get_all_deleted_file()) {
      if (!settleDeletion(row)) return;
    }
  } catch (const std::exception& error) {
    // The rows not reached wait for the next commit.
    NBLOG_ERROR("library {}: deletion pass ended: {}", nMountID_, error.what());
  }
}

bool SyncManager::removelistTouches(const std::string& local) {
  std::lock_guard lock(listsMutex_);
  for (const auto& move : movelists_.removelist) {
    if (move.oldpath.find(local) != std::string::npos) return true;
  }
  return false;
}

bool SyncManager::settleDeletion(const SyncFileItem& listed) {
  const std::string& path = listed.strWebPath;
  const bool dir = listed.bDir;
  const std::string local = getnormalpath(path);
  // A move out of this folder still waits for the server: deleting now could
  // lose it. The whole pass waits for the next commit.
  if (!local.empty() && removelistTouches(local)) return false;
  const SyncFileItem row = syncdb_->get_single_file(path);
  if (row.nStatus == SyncStatus::kRemovedOnServer) {
    dir ? apply_deldir(row) : apply_delfile(row);
    return true;
  }
  if (row.nStatus != SyncStatus::kDeletedLocally) return true;

  auto& transfers = TransPortDB::shareTransPortDB();
  const auto forget = [&] {
    dir ? syncdb_->del_dir(path) : syncdb_->del_file(path);
    transfers.RemoveWebpathUnFinish(nMountID_, path);
  };
  if (path.empty()) {
    syncdb_->del_file(path);
    return true;
  }
  const std::string parentLocal = getnormalpath(getParent(path));
  if (!parentLocal.empty() && !Util::existfile(parentLocal)) {
    forget();
    return true;
  }
  UserData& user = UserData::shareUserData();
  const RequestRet ret =
      HTTPEngine::setFileDel(user.userToken(), dir ? path + "/" : path, nMountID_, 0);
  const int64_t code = ret.nErrorCode();
  if (ret.nStatusCode() == 200 || code == kGone) {
    forget();
  } else if (code == kTokenExpired || code == kTokenInvalid) {
    user.regettoken();
  } else if (code == kRefused) {
    // Not ours to delete: the item comes back from the server.
    forget();
    deferCompareNow(path, dir, row.strProperty);
  }
  return true;
}

void SyncManager::reset_sync(const std::string& webpath, bool dir, bool overwrite) {
  syncdb_->inset_sync_now(webpath, dir, overwrite);
  syncdb_->reset_dir(webpath);
  if (overwrite) overwrite_.addNode(webpath);
  startCanCompare();
  SyncCenter::shareSyncCenter().setBCompareNow(true);
}

void SyncManager::resetall() {
  for (const auto& link : linkfolder_.getLinkNodes()) reset_sync(link.strWebPath, link.bDir, false);
  bScaned = false;
  startCanCompare();
  SyncCenter::shareSyncCenter().setBCompareNow(true);
}

}  // namespace nb
