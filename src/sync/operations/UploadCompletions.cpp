// What a finished or failed upload means for the library. A sync upload is
// committed as in sync only while the local file is still the one that was
// sent; the check and the commit hold controllock, so an edit handled in
// between is never covered by the older content.
#include <mutex>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilSession.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/local/ReadOnlyConflict.h"
#include "sync/operations/Network.h"
#include "sync/operations/TransferNotices.h"

namespace nb {
namespace {

constexpr int64_t kOpenedEdit = 1;
constexpr int64_t kFromHash = 2;
constexpr int64_t kLockedHere = 2;        // row lock state: locked through this client
constexpr int64_t kRefusedUpload = 40310;  // the server refuses the member's edit
constexpr int64_t kServerBusy = 202;

void reportUpload(const TransTaskItem& task) {
  Network::shareNetwork()->SendCallbackInfoByTransTask(TransDirection::Upload, task);
}

// Keeps the sent content in the content cache, then drops the transfer
// cache's copy (never the user's own file, which may be the "copy").
void cacheAndDropTemp(const TransTaskItem& task) {
  SyncCache::shareSyncCache().addCacheFileByPath(task.strTemppath, task.strFilehash);
  UserData::shareUserData().ClearTransCachePath(task.strTemppath);
}

bool fileStillSent(const std::string& path, const TransTaskItem& task) {
  return Util::existfile(path) && Util::filesize(path) == task.ullFilesize &&
         Util::filemodifytime(path) == task.ullLast;
}

}  // namespace

void SyncManager::UploadFinish(const TransTaskItem& task) {
  reportUpload(task);
  auto& store = TransPortDB::shareTransPortDB();
  SyncFileItem row = syncdb_->get_single_file(task.strWebpath);
  if (row.nStatus == SyncStatus::kNotFound) {
    if (task.nExpand == kOpenedEdit) {
      const TransportItem record = store.Get_Upload(task.nIndex);
      if (record.nIndex > 0 && fileStillSent(record.strFullpath, task)) {
        store.updateOpenUploadFinish(record.strFullpath);
        cacheAndDropTemp(task);
      }
    }
    store.Delete_Upload(task.nIndex);
    return;
  }
  if (task.bSync) {
    completeSyncUpload(task);
  } else {
    finishNonSyncUpload(task, row);
  }
}

void SyncManager::finishNonSyncUpload(const TransTaskItem& task, SyncFileItem& row) {
  auto& store = TransPortDB::shareTransPortDB();
  syncdb_->update_filehashandfilesize(task.strWebpath, task.strFilehash, task.ullFilesize);
  if (task.nExpand == kFromHash) {
    queueCreatedFromHash(task, row, true);
    store.Update_UploadFinish(task.nIndex);
    row.strFileHash = task.strFilehash;
    row.ullFileSize = task.ullFilesize;
    SendUpdateFileInfo(row, false);
  } else if (task.nExpand == kOpenedEdit) {
    finishOpenedUpload(task, row);
  } else {
    store.Update_UploadFinish(task.nIndex);
    row.strFileHash = task.strFilehash;
    row.ullFileSize = task.ullFilesize;
    SendUpdateFileInfo(row, false);
    cacheAndDropTemp(task);
  }
  std::string webpath = task.strWebpath;
  if (store.checkInTaskUploadDirFinish(task.nMountid, webpath, task.strSavepath)) {
    transferNotice("[%@] 已上传完成", webpath);
  }
  UserData::shareUserData().ClearDecryptPath(task.strSavepath);
}

void SyncManager::finishOpenedUpload(const TransTaskItem& task, SyncFileItem& row) {
  auto& store = TransPortDB::shareTransPortDB();
  const TransportItem record = store.Get_Upload(task.nIndex);
  if (record.nIndex <= 0) return;
  const std::string& path = record.strFullpath;
  if (fileStillSent(path, task)) {
    store.Update_UploadFinish(task.nIndex);
    store.updateOpenUploadFinish(path);
    SendUpdateFileInfo(row, false);
    cacheAndDropTemp(task);
    return;
  }
  const uint64_t size = Util::filesize(path);
  const uint64_t mtime = Util::filemodifytime(path);
  NBLOG_INFO("{},{},{},{}", task.ullFilesize, size, task.ullLast, mtime);
  store.Update_UploadReset(task.nIndex, size, mtime);
}

// A file made on the server from a hash it already held: a local copy in a
// two-way link still has to come down; elsewhere the row is server-only.
void SyncManager::queueCreatedFromHash(const TransTaskItem& task, SyncFileItem& row,
                                       bool download) {
  const std::string local = getnormalpath(task.strWebpath);
  const bool fetch =
      !local.empty() && linkfolder_.linkTypeByWebPath(task.strWebpath) != LinkType::kBackup;
  if (!fetch) {
    syncdb_->update_status(task.strWebpath, SyncStatus::kServerOnly);
    row.nStatus = SyncStatus::kServerOnly;
    return;
  }
  syncdb_->update_status(task.strWebpath, SyncStatus::kDownloadPending);
  row.nStatus = SyncStatus::kDownloadPending;
  if (!download) return;
  SyncFileItem fetched = row;
  fetched.strFileHash = task.strFilehash;
  fetched.ullFileSize = task.ullFilesize;
  ADD_Download(fetched, local, true, 0);
  Network::shareNetwork()->SendCallbackAction(TransDirection::Download, "reget");
}

void SyncManager::completeSyncUpload(const TransTaskItem& task) {
  auto& store = TransPortDB::shareTransPortDB();
  std::optional<SyncFileItem> committed;
  {
    std::lock_guard lock(*this);
    // Read again under the lock: an edit handled since the upload began
    // has changed the row.
    SyncFileItem row = syncdb_->get_single_file(task.strWebpath);
    if (row.nStatus == SyncStatus::kNotFound) {
      store.Delete_Upload(task.nIndex);
      return;
    }
    const std::string local = getnormalpath(task.strWebpath);
    if (local.empty()) return;  // no longer linked: the record is left as it is
    const bool taskIsRow = task.ullFilesize == row.ullFileSize && task.ullLast == row.ullLastTime;
    if (!Util::existfile(local)) {
      if (!taskIsRow) {
        NBLOG_INFO("{},{},{},{}", task.ullFilesize, row.ullFileSize, task.ullLast,
                   row.ullLastTime);
        store.Delete_Upload(task.nIndex);
        return;
      }
    } else {
      const uint64_t size = Util::filesize(local);
      const uint64_t mtime = Util::filemodifytime(local);
      if (!taskIsRow || size != task.ullFilesize || mtime != task.ullLast) {
        NBLOG_INFO("{},{},{},{},{},{},{}", task.strWebpath, task.ullFilesize, row.ullFileSize,
                   size, task.ullLast, row.ullLastTime, mtime);
        store.Update_UploadReset(task.nIndex, size, mtime);
        syncdb_->update_filesizeandlast(task.strWebpath, size, mtime);
        return;
      }
    }
    commitSyncUpload(task, row);
    committed = row;
  }
  update_sync_item(*committed);
  if (committed->nLock == kLockedHere) {
    HTTPEngine::setFileLock(UserData::shareUserData().userToken(), task.strWebpath, nMountID_,
                            "lock", 0);
  }
  UserData::shareUserData().ClearTransCachePath(task.strTemppath);
}

void SyncManager::commitSyncUpload(const TransTaskItem& task, SyncFileItem& row) {
  TransPortDB::shareTransPortDB().Update_UploadFinish(task.nIndex);
  syncdb_->update_filehashandfilesize(task.strWebpath, task.strFilehash, task.ullFilesize);
  syncdb_->update_finish(task.strWebpath, task.ullLast);
  update_parenttime(getParent(task.strWebpath));
  SyncCache::shareSyncCache().addCacheFileByPath(task.strTemppath, task.strFilehash);
  row.nStatus = SyncStatus::kSynced;
  row.strFileHash = task.strFilehash;
  row.ullFileSize = task.ullFilesize;
  row.ullLastTime = task.ullLast;
}

void SyncManager::UploadFinishOutFile(const TransTaskItem& task) {
  TransTaskItem done = task;
  done.nStatus = kTransFinished;
  done.ullOffset = done.ullFilesize;
  reportUpload(done);
  SyncFileItem row = syncdb_->get_single_file(task.strWebpath);
  const bool exists = row.nStatus != SyncStatus::kNotFound;
  if (task.bSync) {
    syncdb_->update_status(task.strWebpath, SyncStatus::kSynced);
    row.nStatus = SyncStatus::kSynced;
  } else if (task.nExpand == kFromHash) {
    queueCreatedFromHash(task, row, exists);
  } else {
    syncdb_->update_status(task.strWebpath, SyncStatus::kServerOnly);
    row.nStatus = SyncStatus::kServerOnly;
  }
  auto& store = TransPortDB::shareTransPortDB();
  store.Update_UploadFinish(task.nIndex);
  if (exists) update_sync_item(row);
  if (!task.bSync) {
    std::string webpath = task.strWebpath;
    if (store.checkInTaskUploadDirFinish(task.nMountid, webpath, task.strSavepath)) {
      transferNotice("[%@] 已上传完成", webpath);
    }
  }
}

void SyncManager::UploadError(const TransTaskItem& task, int64_t error,
                              const std::string& errormsg) {
  auto& store = TransPortDB::shareTransPortDB();
  const bool online = Util::islink();
  if (online && error != kServerBusy) {
    if (error == kRefusedUpload && task.bSync) {
      refusedSyncUpload(task);
      reportUpload(task);
      return;
    }
    reportUpload(task);
    store.Update_UploadOffset(task.nIndex, task.ullOffset);
    store.Update_UploadError(task.nIndex, error, errormsg);
    return;
  }
  if (online) NBLOG_WARN("error: 202 {}", task.strWebpath);
  store.Update_UploadNormal(task.nIndex, task.ullOffset);
  TransTaskItem waiting = task;
  waiting.nStatus = kTransWaiting;
  reportUpload(waiting);
}

// The server will not take the member's edit and its own version comes
// down over the path: the edit is kept beside it first.
void SyncManager::refusedSyncUpload(const TransTaskItem& task) {
  TransPortDB::shareTransPortDB().Delete_Upload(task.nIndex);
  std::lock_guard lock(*this);
  const SyncFileItem row = syncdb_->get_single_file(task.strWebpath);
  const std::string local = getnormalpath(task.strWebpath);
  if (!task.bDir && row.nStatus != SyncStatus::kNotFound && !local.empty() &&
      Util::isfile(local)) {
    local::readOnlyConflictCopy(*this, local, row);  // resets the path once the copy is made
    return;
  }
  reset_sync(task.strWebpath, task.bDir, true);
}

}  // namespace nb
