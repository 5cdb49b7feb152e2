// A finished download becomes the local file: written aside, renamed into
// place, given the server's times. A user's edit is never overwritten and a
// row deleted meanwhile never brings its file back.
#include <mutex>

#include "api/session/UserData.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "stores/syncdb/SyncStatus.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/links/PathMatch.h"
#include "sync/operations/PageNotices.h"

namespace nb {

namespace {

// Parent chains deeper than this are taken as a damaged store.
constexpr int kMaxParentDepth = 4096;

bool isDeletion(int64_t status) {
  return status == SyncStatus::kRemovedOnServer || status == SyncStatus::kDeletedLocally;
}

// The content directory of the cache-mode folder holding the path; "".
std::string cacheContentDir(const CacheFolder& folders, const std::string& webpath) {
  for (const auto& folder : folders.nodes()) {
    if (webPathInFolder(webpath, folder.strWebPath)) return folder.strFullPath;
  }
  return {};
}

}  // namespace

bool SyncManager::finishdownload(const TransTaskItem& record, const std::string& temppath) {
  const std::string& path = record.strWebpath;
  const std::string contentDir = cacheContentDir(cachefolder_, path);
  if (!contentDir.empty()) {
    SyncCache::shareSyncCache().addCacheFileByPath(temppath, record.strFilehash, contentDir);
    syncdb_->update_status_versiontime(path, SyncStatus::kSynced, ullCompareTime);
    sendUpdateFileInfo(*this, syncdb_->get_single_file(path));
    return true;
  }
  std::optional<SyncFileItem> announce;
  bool done = false;
  {
    std::lock_guard lock(controllock_);
    done = placeDownload(record, temppath, announce);
  }
  if (announce) sendUpdateFileInfo(*this, *announce);
  return done;
}

bool SyncManager::placeDownload(const TransTaskItem& record, const std::string& temppath,
                                std::optional<SyncFileItem>& announce) {
  const std::string& path = record.strWebpath;
  // Read under the lock, so a decision made while the file travelled counts.
  SyncFileItem row = syncdb_->get_single_file(path);
  if (row.nStatus == SyncStatus::kNotFound) return true;
  const std::string local = getnormalpath(path);
  if (local.empty()) return true;
  // Removed on the server or deleted here meanwhile: nothing comes back.
  if (isDeletion(row.nStatus)) return true;
  // The user's edit was recorded meanwhile; it is uploaded instead.
  if (row.nStatus == SyncStatus::kUploadPending || row.nStatus == SyncStatus::kReupload) {
    return false;
  }
  // A newer server version replaced this one in the row; its own download
  // brings it.
  if (!row.strFileHash.empty() && !record.strFilehash.empty() &&
      row.strFileHash != record.strFilehash) {
    NBLOG_INFO("library {}: stale download of {} dropped", nMountID_, path);
    return true;
  }
  if (Util::isdir(local)) {
    NBLOG_ERROR("library {}: a folder stands where {} should go", nMountID_, local);
    return false;
  }
  // Any other time than the one recorded is an edit, also an older one (a
  // restore with its old time, a server clock ahead of this one).
  if (Util::existfile(local)) {
    const uint64_t mtime = Util::filemodifytime(local);
    if (mtime != row.ullLastTime) {
      syncdb_->update_status_lasttime(path, SyncStatus::kUploadPending, mtime);
      return false;
    }
  }
  if (parentDeleted(row)) return true;
  // Only content that is what the server holds replaces the local file.
  if (!row.strFileHash.empty() && Util::getfilehash(temppath) != row.strFileHash) {
    NBLOG_ERROR("library {}: downloaded content of {} does not match its hash", nMountID_, path);
    return false;
  }

  Util::createfolder(getParent(local));
  if (Util::existfile(local)) {
    Util::setfilereadwirte(local);
    if (Util::isfilelock(local)) Util::setfilelock(local, false);
  }
  if (!Util::copyfileneedtemp(temppath, local) || !Util::existfile(local)) return false;
  Util::setfilecreatetime(local, row.ullCreatorTime);
  Util::setfilemodifytime(local, row.ullWebLastTime);
  const uint64_t mtime = Util::filemodifytime(local);
  const bool lockedByOther =
      row.nLock == 1 && row.nLockID != UserData::shareUserData().userID();
  const bool noWrite =
      linkfolder_.linkTypeByWebPath(path) == LinkType::kSync && !getFilePropertyForWrite(path);
  if (Util::isfile(local) && (lockedByOther || noWrite)) Util::setfilereadonly(local);

  if (!syncdb_->update_finish(path, mtime)) {
    NBLOG_ERROR("downloadfinish:{},{}", local, mtime);
    return true;
  }
  NBLOG_INFO("downloadfinish:{},{}", local, mtime);
  set_add_filelistinfo(path, row.ullFileSize, mtime);
  update_parenttime(getParent(path));
  row.nStatus = SyncStatus::kSynced;
  row.ullLastTime = mtime;
  syncdb_->updateVersionTimeByWebpath(path, ullCompareTime);
  announce = row;
  return true;
}

// A parent row removed on the server or deleted here: the file would
// resurrect a folder the user or the server has done away with.
bool SyncManager::parentDeleted(const SyncFileItem& row) {
  int64_t id = row.nUpID;
  for (int depth = 0; id > 0 && depth < kMaxParentDepth; ++depth) {
    const SyncFileItem parent = syncdb_->getFileInfoById(id);
    if (parent.nStatus == SyncStatus::kNotFound) return false;
    if (isDeletion(parent.nStatus)) return true;
    id = parent.nUpID;
  }
  return false;
}

void SyncManager::update_parenttime(const std::string& webpath) {
  const std::string local = getnormalpath(webpath);
  if (local.empty() || !Util::existfile(local)) return;
  syncdb_->update_lasttime(webpath, Util::filemodifytime(local));
}

}  // namespace nb
