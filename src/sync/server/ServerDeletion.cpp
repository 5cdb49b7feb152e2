// Server deletions reach the local tree at the commit: only local copies
// that are exactly what their rows recorded go (to the Trash when the user
// wants it, their content kept in the content cache); a file edited since,
// or one the engine never recorded, stays. The caller holds controllock.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/local/IgnoreRules.h"
#include "sync/operations/Network.h"

namespace nb {

namespace {

namespace fs = std::filesystem;

bool removeLocal(const std::string& local) {
  const bool trash = Util::getAppDelegate()->bRecyclebin();
  const bool removed = trash ? Util::deletefile2recyclebin(local) : Util::deletefile(local);
  if (!removed) NBLOG_ERROR("cannot remove {} removed on the server", local);
  return removed;
}

// A local file as its row recorded it. A row waiting for download holds the
// server's size, so only its time tells.
bool matchesRow(const std::string& local, const SyncFileItem& row) {
  if (row.nStatus == SyncStatus::kNotFound) return false;
  if (Util::filemodifytime(local) != row.ullLastTime) return false;
  return row.nStatus == SyncStatus::kDownloadPending || Util::filesize(local) == row.ullFileSize;
}

}  // namespace

void SyncManager::deferCompareNow(const std::string& webpath, bool dir,
                                  const std::string& property) {
  deferredCompares_.push_back({webpath, dir, property});
}

void SyncManager::apply_delfile(const SyncFileItem& row) {
  const std::string& path = row.strWebPath;
  Network::shareNetwork()->ClearTrans(path, nMountID_, TransDirection::Both);
  if (isigonore(path)) {
    deferCompareNow(path, false, row.strProperty);
    return;
  }
  auto& transfers = TransPortDB::shareTransPortDB();
  const std::string local = getnormalpath(path);
  if (local.empty()) {
    syncdb_->del_file(path);
    transfers.RemoveWebpathUnFinish(nMountID_, path);
    return;
  }
  if (linkfolder_.linkTypeByWebPath(path) == LinkType::kBackup) {
    syncdb_->del_file(path);
    return;
  }
  if (Util::isfile(local) && Util::filesize(local) == row.ullFileSize &&
      Util::filemodifytime(local) == row.ullLastTime) {
    SyncCache::shareSyncCache().addCacheFileByPath(local, row.strFileHash);
    removeLocal(local);
  }
  update_parenttime(getParent(path));
  if (Util::existfile(local) || Util::checklinkdir(local)) return;  // edited: stays at 6
  syncdb_->del_file(path);
  transfers.RemoveWebpathUnFinish(nMountID_, path);
}

void SyncManager::apply_deldir(const SyncFileItem& row) {
  const std::string& path = row.strWebPath;
  const std::string local = getnormalpath(path);
  if (local.empty()) {
    syncdb_->del_dir(path);
    return;
  }
  if (Util::isdir(local)) {
    if (linkfolder_.linkTypeByWebPath(path) == LinkType::kBackup) {
      syncdb_->del_dir(path);
    } else if (syncdb_->is_upload_by_path(path) || !onlyRecordedFiles(local)) {
      resendFolder(row);
    } else {
      cacheRecordedFiles(local);
      removeLocal(local);
    }
  }
  update_parenttime(getParent(path));
  if (Util::existfile(local) || Util::checklinkdir(local)) return;
  syncdb_->del_dir(path);
  TransPortDB::shareTransPortDB().RemoveWebpathUnFinish(nMountID_, path);
}

// The server lost a folder that still holds the user's work: the folder is
// created there again and everything of it still here goes with it, its
// in-sync files too (the server's copies went with the folder). Uploads
// queued before were aimed at a folder that no longer exists; they are
// queued again in order, each folder before what it holds. Rows whose item
// is gone here have nothing left to send.
void SyncManager::resendFolder(const SyncFileItem& folder) {
  const std::string& path = folder.strWebPath;
  Network::shareNetwork()->ClearTrans(path, nMountID_, TransDirection::Both);
  auto& transfers = TransPortDB::shareTransPortDB();
  transfers.RemoveWebpathUnFinish(nMountID_, path);
  // Rows in 6 or 7 below are left to their own settling.
  std::vector<SyncFileItem> rows = syncdb_->get_all(path);
  rows.insert(rows.begin(), folder);
  std::ranges::stable_sort(rows, {}, [](const SyncFileItem& row) { return lowercaseString(row.strWebPath); });
  bool queued = false;
  for (SyncFileItem& row : rows) {
    if (isigonore(row.strWebPath)) continue;
    const std::string local = getnormalpath(row.strWebPath);
    if (local.empty()) continue;
    if (row.bDir ? !Util::isdir(local) : !Util::isfile(local)) {
      if (row.bDir ? Util::checklinkdir(local) : Util::existfile(local)) continue;
      row.bDir ? syncdb_->del_dir(row.strWebPath) : syncdb_->del_file(row.strWebPath);
      continue;
    }
    const uint64_t lasttime = Util::filemodifytime(local);
    const uint64_t size = Util::filesize(local);
    if (!row.bDir && (row.ullLastTime != lasttime || row.ullFileSize != size)) {
      row.ullLastTime = lasttime;
      row.ullFileSize = size;
      row.strFileHash.clear();
    }
    row.strUuidHash.clear();
    row.nStatus = SyncStatus::kUploadPending;
    syncdb_->update_file(row);
    queued = Add_Upload(row, local, true, row.strWebPath) || queued;
  }
  if (queued) Network::shareNetwork()->SendCallbackAction(TransDirection::Upload, "reget");
}

// Whether every file under the folder (links and other items count as
// files; ignored names do not) is exactly as its row recorded it.
bool SyncManager::onlyRecordedFiles(const std::string& folder) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::file_status status = it->symlink_status(ec);
    if (ec) return false;
    if (fs::is_directory(status)) continue;
    const std::string entry = it->path().string();
    const std::string webpath = getrelativepath(entry);
    if (webpath.empty()) return false;
    if (isigonore(webpath)) continue;
    if (!fs::is_regular_file(status)) return false;
    if (!matchesRow(entry, syncdb_->get_single_file(webpath))) return false;
  }
  return !ec;
}

// Keeps the content of the folder's recorded files in the content cache
// before the folder goes, so a restore needs no download.
void SyncManager::cacheRecordedFiles(const std::string& folder) {
  std::error_code ec;
  auto& cache = SyncCache::shareSyncCache();
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
    const std::string entry = it->path().string();
    const SyncFileItem row = syncdb_->get_single_file(getrelativepath(entry));
    if (row.strFileHash.empty() || !matchesRow(entry, row)) continue;
    cache.addCacheFileByPath(entry, row.strFileHash);
  }
}

}  // namespace nb
