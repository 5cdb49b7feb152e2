// The sync manager's scans of the local side: the walk of a local folder,
// and the marks for rows whose local item is gone.
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/local/LocalScan.h"
#include "sync/local/LocalSteps.h"
#include "sync/local/ScanPause.h"

namespace nb {
namespace {

bool pending(int64_t status) {
  return status == SyncStatus::kSynced || status == SyncStatus::kUploadPending;
}

// Statuses the marking pass leaves alone (and rows that went meanwhile).
bool settledOrMarked(int64_t status) {
  return status == SyncStatus::kNotFound ||
         (status >= SyncStatus::kServerOnly && status <= SyncStatus::kDeletedLocally);
}

// An unmounted disk leaves its mount point empty (or takes the folder
// away); every row under it would then be sent to the server as deleted.
bool looksUnmounted(SyncManager& manager, const LinkFolderNode& link) {
  if (Util::isdir(link.strFullPath) && !Util::entryNames(link.strFullPath).empty()) return false;
  Syncdb& store = manager.syncdb();
  const auto rows = link.strWebPath.empty() ? store.get_all_fileanddir(0, "")
                                            : store.get_all(link.strWebPath);
  for (const auto& row : rows) {
    if (row.strWebPath != link.strWebPath && row.nStatus == SyncStatus::kSynced) return true;
  }
  return false;
}

}  // namespace

void SyncManager::scandir(const std::string& dir) { LocalScan(*this).scandir(dir); }

void SyncManager::scandel() {
  for (const auto& link : linkfolder_.getLinkNodes()) {
    if (looksUnmounted(*this, link)) {
      NBLOG_WARN("library {}: linked folder {} is empty or gone while its rows are in sync; "
                 "nothing under it is taken as deleted",
                 nMountID_, link.strFullPath);
      continue;
    }
    mark_file_delete(link.strWebPath);
  }
}

void SyncManager::mark_file_delete(const std::string& webpath) {
  // The whole library's top-level rows name parent 0.
  const int64_t id = webpath.empty() ? 0 : syncdb_->getID(webpath);
  if (id == -1) return;
  for (const auto& listed : syncdb_->get_all_dirformarkdelete(id)) {
    if (bOut_) return;
    if (!markGone(listed)) continue;
    ScanPause::pause();
    mark_file_delete(listed.strWebPath);
  }
  for (const auto& listed : syncdb_->get_all_filesformarkdelete(id)) {
    if (bOut_) return;
    markGone(listed);
  }
}

// One row of the marking pass, decided under controllock on its current
// state. Answers true for a folder whose rows below are to be visited
// (its local folder exists, or it lies outside every link).
bool SyncManager::markGone(const SyncFileItem& listed) {
  bool restore = false;
  SyncFileItem row;
  {
    local::ControlHold hold(*this);
    if (listed.strWebPath.empty()) {
      syncdb_->del_file("");
      return false;
    }
    if (local::ignoredWeb(listed.strWebPath)) return false;
    row = syncdb_->get_single_file(listed.strWebPath);
    if (settledOrMarked(row.nStatus)) return false;
    const std::string lp = getnormalpath(row.strWebPath);
    if (lp.empty() || Util::existfile(lp)) return row.bDir;
    restore = markMissing(row);
  }
  if (!restore) return false;
  // compare_now takes controllock: a caller that holds it has the re-read
  // run once the commit lets go of it.
  if (holdsControllock()) {
    deferCompareNow(row.strWebPath, row.bDir, row.strProperty);
  } else {
    compare_now(row.strWebPath, row.bDir, row.strProperty);
  }
  return false;
}

// A row whose local item is gone. Answers true when the server's item is
// to be fetched again instead (no right to delete it there).
bool SyncManager::markMissing(const SyncFileItem& row) {
  const int64_t type = linkfolder_.linkTypeByWebPath(row.strWebPath);
  const std::string& path = row.strWebPath;
  if (type == LinkType::kSync) {
    if (!pending(row.nStatus)) return false;
    if (!getFilePropertyForDelete(path)) return true;
    syncdb_->update_status(path, SyncStatus::kDeletedLocally);
  } else if (type == LinkType::kUnset) {
    // A folder never uploaded has nothing on the server to delete.
    if (row.bDir && row.nStatus == SyncStatus::kUploadPending) {
      syncdb_->del_dir(path);
    } else if (pending(row.nStatus)) {
      syncdb_->update_status(path, SyncStatus::kDeletedLocally);
    }
  } else if (!row.bDir) {
    if (row.nStatus == SyncStatus::kSynced) syncdb_->update_status(path, SyncStatus::kServerOnly);
    if (row.nStatus == SyncStatus::kUploadPending) return true;
  }
  return false;
}

}  // namespace nb
