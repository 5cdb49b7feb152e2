// The three-way comparison of a server entry, the row recorded at the last
// sync and the local item. A local file counts as unchanged when its size
// and whole-second modification time equal its row's; content hashes are
// computed only where the user asked for the server's version or a caller
// asks for a check. The caller holds controllock.
#include "foundation/util/UtilFiles.h"
#include "stores/syncdb/SyncStatus.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/local/IgnoreRules.h"
#include "sync/server/CacheFetchLimit.h"

namespace nb {

namespace {

struct LocalItem {
  bool exists = false;
  bool dir = false;
  uint64_t size = 0;  // 0 for a folder
  uint64_t mtime = 0;
};

LocalItem readLocal(const std::string& path) {
  LocalItem item;
  if (path.empty() || !Util::existfile(path)) return item;
  item.exists = true;
  item.dir = Util::isdir(path);
  item.size = item.dir ? 0 : Util::filesize(path);
  item.mtime = Util::filemodifytime(path);
  return item;
}

void takeEditorAndProperty(SyncFileItem& row, const CompareItem& item) {
  row.nLastID = item.nLastMemberID;
  row.strLastName = item.strLastMemberName;
  row.strProperty = item.strPropertys;
}

bool uploadPending(const SyncFileItem& row) {
  return row.nStatus == SyncStatus::kUploadPending || row.nStatus == SyncStatus::kReupload;
}

// A backup link only records the server's side: the row takes the entry's
// content and time and stays on the server.
void recordServerOnly(SyncFileItem& row, const CompareItem& item) {
  row.strFileHash = item.strFileHash;
  row.ullFileSize = item.ullFileSize;
  row.ullLastTime = item.ullWebLastTime;
  row.nStatus = SyncStatus::kServerOnly;
}

}  // namespace

void SyncManager::update_copylist_lasttime(const std::string& webpath, uint64_t lasttime) {
  std::lock_guard lock(listsMutex_);
  copylist_.updateLastTime(webpath, lasttime);
}

// Gives the local file the given times, and the row the time read back.
// Setting them raises a file event of its own, which must read as the
// engine's write: handled after a newer server version met the same file in
// the same comparison, it found the size the row now takes from the server
// and sent the local copy up over that version.
void SyncManager::setLocalTimes(SyncFileItem& row, const std::string& local, uint64_t created,
                                uint64_t modified) {
  Util::setfilecreatetime(local, created);
  Util::setfilemodifytime(local, modified);
  row.ullLastTime = Util::filemodifytime(local);
  set_add_filelistinfo(row.strWebPath, Util::filesize(local), row.ullLastTime);
}

void SyncManager::compare_data(SyncFileItem& row, const CompareItem& item, bool comparenow) {
  const std::string& path = row.strWebPath;
  const std::string local = getnormalpath(path);
  if (local.empty() || isigonore(path)) {
    const bool cached = cachefolder_.checkByWebPath(path) >= 1;
    row.nStatus = !cached                                 ? SyncStatus::kServerOnly
                  : item.ullFileSize <= kCacheFetchLimit ? SyncStatus::kDownloadPending
                                                          : SyncStatus::kSynced;
    row.ullFileSize = item.ullFileSize;
    row.strFileHash = item.strFileHash;
    row.ullLastTime = item.ullWebLastTime;
    takeEditorAndProperty(row, item);
    syncdb_->update_file(row);
    return;
  }
  const LocalItem found = readLocal(local);
  const bool backup = linkfolder_.linkTypeByWebPath(path) == LinkType::kBackup;
  if (!found.exists) {
    compareMissing(row, item, local, backup, comparenow);
  } else if (found.dir) {
    row.ullLastTime = found.mtime;
    row.nStatus = SyncStatus::kSynced;
    takeEditorAndProperty(row, item);
    syncdb_->update_file(row);
    syncdb_->updateVersionTimeByWebpath(path, ullCompareTime);
  } else if (found.size == row.ullFileSize && found.mtime == row.ullLastTime) {
    compareUnchanged(row, item, local, backup);
  } else {
    compareChanged(row, item, local, found.size, found.mtime, backup);
  }
}

// Cases A1-A3: the local file is as the row recorded it.
void SyncManager::compareUnchanged(SyncFileItem& row, const CompareItem& item,
                                   const std::string& local, bool backup) {
  const std::string& path = row.strWebPath;
  const uint64_t mtime = row.ullLastTime;
  bool versioned = false;
  if (item.strFileHash == row.strFileHash) {
    setLocalTimes(row, local, item.ullCreatorTime, item.ullWebLastTime);
    row.nStatus = SyncStatus::kSynced;
    versioned = true;
  } else if (overwrite_.checkNode(path)) {
    if (Util::getfilehash(local) == item.strFileHash) {
      setLocalTimes(row, local, item.ullCreatorTime, item.ullWebLastTime);
      row.strFileHash = item.strFileHash;
      row.ullFileSize = item.ullFileSize;
      row.nStatus = SyncStatus::kSynced;
      versioned = true;
    } else {
      row.strFileHash = item.strFileHash;
      row.ullFileSize = item.ullFileSize;
      row.ullLastTime = mtime;
      row.nStatus = SyncStatus::kDownloadPending;
    }
  } else {
    // The local side wins until its pending upload completes.
    if (uploadPending(row)) return;
    row.ullFileSize = item.ullFileSize;
    row.strFileHash = item.strFileHash;
    row.ullLastTime = mtime;
    row.nStatus = SyncStatus::kDownloadPending;
    if (backup) recordServerOnly(row, item);
    versioned = backup;
  }
  takeEditorAndProperty(row, item);
  syncdb_->update_file(row);
  if (versioned) syncdb_->updateVersionTimeByWebpath(path, ullCompareTime);
}

// Cases B1-B3: the local file was changed since the row was recorded.
void SyncManager::compareChanged(SyncFileItem& row, const CompareItem& item,
                                 const std::string& local, uint64_t size, uint64_t mtime,
                                 bool backup) {
  const std::string& path = row.strWebPath;
  bool versioned = false;
  if (overwrite_.checkNode(path)) {
    if (Util::getfilehash(local) == item.strFileHash) {
      setLocalTimes(row, local, item.ullCreatorTime, item.ullWebLastTime);
      row.strFileHash = item.strFileHash;
      row.ullFileSize = size;
      row.nStatus = SyncStatus::kSynced;
    } else {
      row.strFileHash = item.strFileHash;
      row.ullFileSize = item.ullFileSize;
      row.ullLastTime = mtime;
      row.nStatus = SyncStatus::kDownloadPending;
      if (backup) recordServerOnly(row, item);
    }
    versioned = row.nStatus != SyncStatus::kDownloadPending;
  } else if (mtime == row.ullLastTime && row.nStatus == SyncStatus::kDownloadPending) {
    row.strFileHash = item.strFileHash;
    row.ullFileSize = item.ullFileSize;
    row.ullLastTime = mtime;
  } else {
    if (uploadPending(row)) return;
    row.ullFileSize = size;
    row.ullLastTime = mtime;
    row.strFileHash.clear();
    row.nStatus = SyncStatus::kUploadPending;
    if (backup) recordServerOnly(row, item);
    versioned = backup;
  }
  takeEditorAndProperty(row, item);
  syncdb_->update_file(row);
  if (versioned) syncdb_->updateVersionTimeByWebpath(path, ullCompareTime);
}

// No local item at the row's path.
void SyncManager::compareMissing(SyncFileItem& row, const CompareItem& item,
                                 const std::string& local, bool backup, bool comparenow) {
  if (backup) {
    recordServerOnly(row, item);
    takeEditorAndProperty(row, item);
    syncdb_->update_file(row);
    syncdb_->updateVersionTimeByWebpath(row.strWebPath, ullCompareTime);
    return;
  }
  if (check_movelist(local)) return;
  // Unchanged on the server and gone here: a local deletion the scan marks.
  if (row.ullLastTime == item.ullWebLastTime && row.strFileHash == item.strFileHash &&
      !comparenow && row.nStatus != SyncStatus::kResetMark) {
    return;
  }
  row.ullFileSize = item.ullFileSize;
  row.strFileHash = item.strFileHash;
  row.nStatus = SyncStatus::kDownloadPending;
  takeEditorAndProperty(row, item);
  syncdb_->update_file(row);
}

bool SyncManager::compare_file(const std::string& fullpath, SyncFileItem& row, bool bCheck,
                               bool bNeedOverwrite) {
  const LocalItem found = readLocal(fullpath);
  if (!found.exists) return false;
  const std::string& path = row.strWebPath;
  if (row.ullFileSize == found.size && !row.strFileHash.empty() &&
      row.ullLastTime == found.mtime) {
    if (row.nStatus != SyncStatus::kDeletedLocally) return true;
    // Deleted here, then back as it was: it goes to the server again.
    row.nStatus = SyncStatus::kUploadPending;
    syncdb_->update_status(path, row.nStatus);
    return false;
  }
  if (bNeedOverwrite && !found.dir && (bCheck || overwrite_.checkNode(path))) {
    const std::string hash = Util::getfilehash(fullpath).value_or("");
    if (hash != row.strFileHash) {
      row.ullLastTime = found.mtime;
      syncdb_->update_lasttime(path, found.mtime);
    } else if (row.nStatus == SyncStatus::kDownloadPending) {
      // The server's content is already here: only the times are taken.
      setLocalTimes(row, fullpath, row.ullCreatorTime, row.ullLastTime);
      row.bDir = false;
      row.ullFileSize = found.size;
      row.strFileHash = hash;
      row.nStatus = SyncStatus::kSynced;
      syncdb_->update_file(row);
      syncdb_->updateVersionTimeByWebpath(path, ullCompareTime);
      return true;
    }
  }
  if (found.dir && row.strFileHash.empty()) {
    if (row.nStatus != SyncStatus::kDownloadPending) return false;
    row.ullLastTime = found.mtime;
    row.bDir = true;
    row.ullFileSize = 0;
    row.nStatus = SyncStatus::kSynced;
    syncdb_->update_file(row);
    syncdb_->updateVersionTimeByWebpath(path, ullCompareTime);
    return true;
  }
  if (bNeedOverwrite && row.nStatus == SyncStatus::kDownloadPending) {
    row.ullLastTime = found.mtime;
    syncdb_->update_lasttime(path, found.mtime);
    return false;
  }
  row.bDir = found.dir;
  row.ullFileSize = found.size;
  row.ullLastTime = found.mtime;
  row.nStatus = SyncStatus::kUploadPending;
  syncdb_->update_file(row);
  return false;
}

bool SyncManager::compare_modify(const std::string& fullpath, SyncFileItem& row) {
  const std::string& path = row.strWebPath;
  const LocalItem found = readLocal(fullpath);
  if (row.bDir) {
    if (found.mtime != row.ullLastTime) {
      row.ullLastTime = found.mtime;
      syncdb_->update_lasttime(path, found.mtime);
    }
    return true;
  }
  if (found.size == row.ullFileSize && found.mtime == row.ullLastTime &&
      !row.strFileHash.empty()) {
    if (row.nStatus == SyncStatus::kDownloadPending) {
      row.nStatus = SyncStatus::kSynced;
      syncdb_->update_status_versiontime(path, row.nStatus, ullCompareTime);
    } else if (row.nStatus == SyncStatus::kRemovedOnServer ||
               row.nStatus == SyncStatus::kDeletedLocally) {
      row.nStatus = SyncStatus::kUploadPending;
      syncdb_->update_status(path, row.nStatus);
    }
    return true;
  }
  row.ullFileSize = found.size;
  row.ullLastTime = found.mtime;
  row.strFileHash.clear();
  row.nStatus = SyncStatus::kUploadPending;
  syncdb_->update_file(row);
  return false;
}

}  // namespace nb
