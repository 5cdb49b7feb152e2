// Applying server entries: the dispatch of a feed page under controllock,
// deletions and moves, re-upload requests, and the re-read of one path.
#include <mutex>
#include <optional>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/links/PathMatch.h"
#include "sync/links/SafeWebPath.h"
#include "sync/operations/Network.h"
#include "sync/server/FeedPaths.h"

namespace nb {
namespace {

constexpr int64_t kEntryGone = 40402;
constexpr int64_t kEntryRefused = 40003;
// Feed entries applied per commit of the stores.
constexpr std::size_t kEntriesPerCommit = 100;

// Entries name items inside the library, and a move names where to.
bool safeEntry(const CompareItem& item) {
  return isSafeEntryPath(item.strWebPath) &&
         (item.strWebPathTo.empty() || isSafeEntryPath(item.strWebPathTo));
}

// A file's local copy that the server deleted while it waited for a
// download. Removed only while it still has the time the row recorded: an
// edit made meanwhile (while the client was stopped, or not yet handled)
// is kept and goes to the server again instead of being lost.
void dropStaleDownload(SyncManager& m, SyncFileItem& row, const std::string& local) {
  if (Util::filemodifytime(local) != row.ullLastTime) {
    NBLOG_INFO("library {}: '{}' was deleted on the server but edited here, kept",
               m._nMountID(), row.strWebPath);
    row.nStatus = SyncStatus::kUploadPending;
    m.syncdb().update_status(row.strWebPath, row.nStatus);
    if (m.Add_Upload(row, local, true, row.strWebPath)) m.nCallbackAction |= kQueuedUpload;
    return;
  }
  if (Util::getAppDelegate()->bRecyclebin()) {
    Util::deletefile2recyclebin(local);
  } else {
    Util::deletefile(local);
  }
}

// A deleted folder takes the links and cache-mode folders inside it along,
// whether or not the store holds a row for it. Each link goes as an
// unlinking takes it: watcher stopped, stored link and favourite removed.
void dropFoldersInside(SyncManager& m, const std::string& webpath) {
  for (const auto& link : m.linkfolder().getLinkNodes()) {
    if (webPathInFolder(link.strWebPath, webpath)) m.remove_link(link.strWebPath);
  }

  std::vector<CacheFolderItem> caches;
  if (!m.cachefolder().removeByWebPath(webpath, caches)) return;
  m.syncdb().remove_cache(webpath, false);
  for (const auto& cache : caches) SyncCache::shareSyncCache().deleteCacheByPath(cache.strFullPath);
}

// The row of a deleted entry that is neither awaiting download nor kept on
// the server only.
void settleStillKnownRow(SyncManager& m, const CompareItem& item, SyncFileItem& row) {
  const std::string local = m.getnormalpath(item.strWebPath);
  if (!local.empty() && Util::existfile(local)) m.compare_file(local, row, false, true);
  if (row.nStatus == SyncStatus::kSynced) {
    m.syncdb().update_status(item.strWebPath, SyncStatus::kRemovedOnServer);
  } else if (item.bDir) {
    m.syncdb().update_status_deletebyparentwheresync(item.strWebPath);
  }
}

// The server's entry for a path given as the folder itself, as a page would
// create it now.
CompareItem folderEntry(const std::string& webpath, const std::string& property) {
  const UserData& user = UserData::shareUserData();
  CompareItem item;
  item.strWebPath = webpath;
  item.bDir = true;
  item.nCmd = FeedCmd::kAdd;
  item.ullCreatorTime = item.ullWebLastTime = platform::nowSeconds();
  item.nLastMemberID = user.userID();
  item.strLastMemberName = user.userWebName();
  item.strPropertys = property;
  return item;
}

}  // namespace

bool SyncManager::receive_datas(const std::vector<CompareItem>& items, ViewList* views,
                                bool comparenow) {
  // A page's rows and queued transfers are written a batch at a time: each
  // statement on its own would be a commit of its own, and the entries'
  // few statements each would make the commits what a first sync costs.
  std::optional<Syncdb::Transaction> rows;
  std::optional<TransPortDB::Transaction> queued;
  std::size_t batched = 0;
  for (const auto& item : items) {
    if (bOut_) return false;
    if (batched++ % kEntriesPerCommit == 0) {
      queued.reset();
      rows.reset();
      rows.emplace(*syncdb_);
      queued.emplace(TransPortDB::shareTransPortDB());
    }
    if (!safeEntry(item)) {
      NBLOG_ERROR("library {}: a server entry with an unsafe path was skipped", nMountID_);
      continue;
    }
    std::lock_guard hold(*this);
    switch (item.nCmd) {
      case FeedCmd::kDelete: receive_del(item, views); break;
      case FeedCmd::kAdd: receive_add(item, views, true, comparenow); break;
      case FeedCmd::kReupload: receive_reset(item); break;
      default: break;
    }
  }
  return true;
}

void SyncManager::receive_del(const CompareItem& item, ViewList* views) {
  if (!item.strWebPathTo.empty()) {
    receive_move(item.strWebPath, item.strWebPathTo);
    compareAtMoveTarget(item, views);
    // A new letter case alone: paths compare without case, so the row found
    // under the old path is the one just moved, not a leftover to delete.
    if (lowercaseString(item.strWebPath) == lowercaseString(item.strWebPathTo)) {
      addParentViews(item.strWebPath, views);
      return;
    }
  }
  if (item.bDir) dropFoldersInside(*this, item.strWebPath);
  SyncFileItem row = syncdb_->get_single_file(item.strWebPath);
  if (row.nStatus == SyncStatus::kNotFound) {
    addParentViews(item.strWebPath, views);
    return;
  }
  TransPortDB::shareTransPortDB().Delete_Download(nMountID_, item.strWebPath);
  Network::shareNetwork()->ClearTrans(item.strWebPath, nMountID_, TransDirection::Download);
  switch (row.nStatus) {
    case SyncStatus::kDownloadPending: {
      syncdb_->update_status(item.strWebPath, SyncStatus::kRemovedOnServer);
      const std::string local = getnormalpath(item.strWebPath);
      if (!local.empty() && !item.bDir && Util::isfile(local)) dropStaleDownload(*this, row, local);
      break;
    }
    case SyncStatus::kServerOnly:
    case SyncStatus::kSettled:
      syncdb_->del_dir(item.strWebPath);
      TransPortDB::shareTransPortDB().Remove_Download(nMountID_, item.strWebPath);
      break;
    default:
      settleStillKnownRow(*this, item, row);
      break;
  }
  addParentViews(item.strWebPath, views);
  bSpaceMax = false;
}

// The moved file carries the content the server has at the new name. When
// the row there records other content, that is an edit made before the
// move (another member's, just before our own rename, whose entry at the
// old name was ignored as that rename's echo): it is compared there.
// Without any row there, none went along with the move (the row at the old
// name was dropped before the move arrived, say with an upload whose file
// was gone): the file at its new name arrives as a new one would.
void SyncManager::compareAtMoveTarget(const CompareItem& item, ViewList* views) {
  if (item.bDir || item.strFileHash.empty()) return;
  const SyncFileItem row = syncdb_->get_single_file(item.strWebPathTo);
  if (row.nStatus != SyncStatus::kNotFound &&
      (row.bDir || row.strFileHash == item.strFileHash)) {
    return;
  }
  CompareItem there = item;
  there.strWebPath = item.strWebPathTo;
  there.strWebPathTo.clear();
  there.nCmd = FeedCmd::kAdd;
  receive_add(there, views, true, false);
}

void SyncManager::receive_reset(const CompareItem& item) {
  SyncFileItem row = syncdb_->get_single_file(item.strWebPath);
  if (row.nStatus == SyncStatus::kNotFound || row.nStatus == SyncStatus::kUploadPending ||
      row.nStatus == SyncStatus::kReupload) {
    return;
  }
  const auto network = Network::shareNetwork();
  const std::string local = getnormalpath(item.strWebPath);
  if (!local.empty() && Util::existfile(local)) {
    network->ClearTrans(item.strWebPath, nMountID_);
    row.nStatus = SyncStatus::kReupload;
    syncdb_->update_status(item.strWebPath, row.nStatus);
    Add_Upload(row, local, true, row.strWebPath);
    nCallbackAction |= kQueuedUpload;
    return;
  }
  SyncCache& cache = SyncCache::shareSyncCache();
  const std::string cached = cache.getFullPathByFileHash(row.strFileHash);
  if (!cached.empty() && Util::existfile(cached)) {
    const std::string folder = UserData::shareUserData().getDecryptPath();
    const std::string copy = folder + "/file_" + row.strFileHash;
    if (Util::createfolder(folder) && cache.copyDecrypt(cached, copy)) {
      network->ClearTrans(item.strWebPath, nMountID_);
      Add_Upload(row, copy, false, row.strWebPath);
      nCallbackAction |= kQueuedUpload;
      return;
    }
  }
  const TransportItem upload = TransPortDB::shareTransPortDB().Get_Upload(nMountID_, item.strWebPath);
  if (upload.nIndex != 0 && Util::existfile(upload.strFullpath)) {
    Add_Upload(row, upload.strFullpath, false, row.strWebPath);
    nCallbackAction |= kQueuedUpload;
  }
}

void SyncManager::compare_now(const std::string& webpath, bool dir, const std::string& property) {
  if (!dir) {
    const RetFileInfo ret =
        HTTPEngine::getFileInfo(UserData::shareUserData().userToken(), webpath, nMountID_, "", 0);
    std::lock_guard hold(*this);
    if (ret.nStatusCode() == 200 && ret.pItem) {
      if (safeEntry(*ret.pItem)) receive_add(*ret.pItem, nullptr, false, true);
    } else if (ret.nErrorCode() == kEntryGone || ret.nErrorCode() == kEntryRefused) {
      syncdb_->del_file(webpath);
      TransPortDB::shareTransPortDB().RemoveWebpathUnFinish(nMountID_, webpath);
    }
    return;
  }
  const SyncVersion cursor{cursorPathOfEntry(webpath), 0, 0, false};
  if (!webpath.empty()) {
    std::lock_guard hold(*this);
    receive_add(folderEntry(webpath, property), nullptr, false, true);
  }
  receive_server_version({cursor}, false, false);
}

}  // namespace nb
