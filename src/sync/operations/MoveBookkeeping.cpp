// Copies and moves carried out as bookkeeping: the rows of a subtree are
// re-created at the new place and uploaded from their content hashes (no
// content leaves the computer), the old rows are marked deleted for the
// commit pass. Also what page moves and renames share: the linked and
// cache-mode folders that follow a path or go with it.
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/operations/Network.h"

namespace nb {

bool SyncManager::checksub(const std::vector<MoveItem>& items) {
  for (const auto& item : items) {
    const std::string inside = item.frompath + "/";
    if (item.topath.starts_with(inside)) return true;
  }
  return false;
}

std::vector<SyncFileItem> SyncManager::getfilelist(const std::vector<MoveItem>& items) {
  const UserData& user = UserData::shareUserData();
  std::vector<SyncFileItem> rows;
  for (const auto& item : items) {
    for (auto& row : syncdb_->get_all(item.frompath)) {
      row.strWebPath = item.topath + row.strWebPath.substr(item.frompath.size());
      row.nStatus = linkfolder_.checkSameLinkByWebPath(row.strWebPath) ? SyncStatus::kUploadPending
                                                                      : SyncStatus::kServerOnly;
      row.nLastID = user.userID();
      row.strLastName = user.userWebName();
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

std::vector<SyncFileItem> SyncManager::getfilelistrename(const std::string& oldwebpath,
                                                         const std::string& newwebpath) {
  std::vector<SyncFileItem> rows = syncdb_->get_all(oldwebpath);
  for (auto& row : rows) {
    row.strWebPath = row.strWebPath.size() == oldwebpath.size()
                         ? newwebpath
                         : newwebpath + row.strWebPath.substr(oldwebpath.size());
    row.nStatus = SyncStatus::kUploadPending;
  }
  return rows;
}

void SyncManager::addfile(std::vector<SyncFileItem>& rows, bool addtrans,
                          const std::string& parent) {
  const uint64_t now = platform::nowSeconds();
  for (auto& row : rows) {
    row.ullWebLastTime = now;
    row.nUpID = getFileUpID(row.strWebPath);
    if (row.nUpID == -1) NBLOG_ERROR("getFileUpID error {}", row.strWebPath);
    if (syncdb_->get_single_file(row.strWebPath).nStatus != SyncStatus::kNotFound) {
      syncdb_->update_file(row);
    } else {
      row.nID = syncdb_->add_new_file(row);
    }
    if (addtrans) Add_Upload(row, "", false, parent.empty() ? row.strWebPath : parent);
  }
  if (addtrans) Network::shareNetwork()->SendCallbackAction(TransDirection::Upload, "reget");
}

void SyncManager::delfile(const std::vector<std::string>& webpaths) {
  for (const auto& webpath : webpaths) {
    const SyncFileItem row = syncdb_->get_single_file(webpath);
    if (row.nStatus == SyncStatus::kNotFound || row.nStatus == SyncStatus::kRemovedOnServer) {
      continue;
    }
    syncdb_->update_status(webpath, SyncStatus::kDeletedLocally);
    if (row.bDir) {
      dropFoldersAt(webpath);
      syncdb_->update_status_deletebyparent(webpath);
    }
    TransPortDB::shareTransPortDB().RemoveWebpathUnFinish(nMountID_, webpath);
    Network::shareNetwork()->ClearTrans(webpath, nMountID_);
  }
}

void SyncManager::renameFoldersAt(const std::string& oldwebpath, const std::string& newwebpath) {
  if (linkfolder_.renameByWebPath(oldwebpath, newwebpath)) {
    syncdb_->rename_link(oldwebpath, newwebpath);
  }
  if (cachefolder_.renameByWebPath(oldwebpath, newwebpath)) {
    syncdb_->rename_cache(oldwebpath, newwebpath);
  }
}

// A linked folder that goes stops being watched too: its watcher would
// otherwise keep feeding events of a folder no link maps any more.
void SyncManager::dropFoldersAt(const std::string& webpath) {
  std::vector<LinkFolderNode> links;
  if (linkfolder_.removeByWebPath(webpath, links)) {
    for (const auto& link : links) {
      const std::string folder = lastremoveslash(link.strFullPath);
      removelink(folder);
      Util::getAppDelegate()->deleteFavorite(folder);
    }
    syncdb_->remove_link(webpath, false);
  }
  for (const auto& cache : takeCachesAt(webpath)) {
    SyncCache::shareSyncCache().deleteCacheByPath(cache.strFullPath);
  }
}

}  // namespace nb
