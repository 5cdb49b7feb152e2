// The decision for one server entry that was added or changed: the status
// of its row, and the download or upload that follows. The caller holds
// controllock; nothing here takes it.
#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <system_error>

#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/OperationQueue.h"
#include "stores/cache/SyncCache.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/links/PathMatch.h"
#include "sync/local/IgnoreRules.h"
#include "sync/operations/Network.h"
#include "sync/operations/ResetSyncFileProperty.h"
#include "sync/server/CacheFetchLimit.h"

namespace nb {

namespace {

constexpr const char* kReadWithdrawn =
    "文件夹[%@]已经被取消下载权限,同步目录[%@]自动取消绑定！";
// Expand value of a hidden download into the content cache (a hot file).
constexpr int64_t kExpandHotFile = 256;

// What the server may change of a known row; content, local time, folder
// flag and status are the comparison's to decide.
void takeServerFields(SyncFileItem& row, const CompareItem& item) {
  row.strWebPath = item.strWebPath;
  row.strLastName = item.strLastMemberName;
  row.nLastID = item.nLastMemberID;
  row.ullWebLastTime = item.ullWebLastTime;
  row.ullCreatorTime = item.ullCreatorTime;
  row.nLock = item.nLock;
  row.nLockID = item.nLockMemberID;
  row.strUuidHash = item.strHash;
  row.strProperty = item.strPropertys;
}

void setNewRowFields(SyncFileItem& row, const CompareItem& item) {
  takeServerFields(row, item);
  row.strFileHash = item.strFileHash;
  row.ullFileSize = item.ullFileSize;
  row.ullLastTime = item.ullWebLastTime;
  row.bDir = item.bDir;
}

}  // namespace

// Where an entry lands: its row as stored, its local path L (linked
// folders), its cache-mode copy C, and the base status S of a new row.
struct SyncManager::AddPlace {
  SyncFileItem row;
  std::string local;
  std::string cache;
  int64_t linkType = LinkType::kNone;
  std::string linkRoot;
  int64_t status = SyncStatus::kServerOnly;
};

std::optional<SyncFileItem> SyncManager::receive_add(const CompareItem& item, ViewList* views,
                                                     bool checkhotfile, bool comparenow) {
  AddPlace place = placeEntry(item);
  if (place.row.nStatus == SyncStatus::kNotFound && followKnownEntry(item)) {
    place = placeEntry(item);
  }
  if (place.row.nStatus == SyncStatus::kNotFound) return addNewRow(item, place, views);
  return updateRow(item, place, views, checkhotfile, comparenow);
}

// The server holds at this path an item a synced row knows by its identity
// under another path, and no move said so. That is an upload of ours into
// a folder the server had just moved away: the server made the folder's
// old path again to hold it, and following the move took the local item
// and its row along. The server's place wins, as for a reported move;
// fetched anew beside it instead, the item would stay twice here, with a
// row claiming a server item that is not there. A rename of our own is
// left to the echo check of the new row.
bool SyncManager::followKnownEntry(const CompareItem& item) {
  if (item.strHash.empty()) return false;
  bool timeout = false;
  if (lastRename_.checkNode(item.strWebPath, timeout)) return false;
  const SyncFileItem known = syncdb_->get_uuidhash_file(item.strHash);
  if (known.nStatus != SyncStatus::kSynced || known.bDir != item.bDir) return false;
  if (linkfolder_.linkTypeByWebPath(known.strWebPath) != LinkType::kSync ||
      linkfolder_.linkTypeByWebPath(item.strWebPath) != LinkType::kSync) {
    return false;
  }
  const std::string there = lowercaseString(known.strWebPath);
  const std::string here = lowercaseString(item.strWebPath);
  if (lowerWebPathInFolder(there, here) || lowerWebPathInFolder(here, there)) return false;
  const std::string from = getnormalpath(known.strWebPath);
  const std::string to = getnormalpath(item.strWebPath);
  if (from.empty() || to.empty() || !Util::existfile(from) || Util::existfile(to)) return false;
  // The folder the server made again may still wait for its download.
  const std::string parent = getParent(to);
  if (!Util::isdir(parent)) {
    const int64_t status = syncdb_->get_single_file(getParent(item.strWebPath)).nStatus;
    if (status != SyncStatus::kDownloadPending && status != SyncStatus::kSynced) return false;
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (ec) return false;
  }
  NBLOG_INFO("library {}: {} is on the server at {}; following it there", nMountID_,
             known.strWebPath, item.strWebPath);
  receive_move(known.strWebPath, item.strWebPath);
  return true;
}

SyncManager::AddPlace SyncManager::placeEntry(const CompareItem& item) {
  AddPlace place;
  const std::string& path = item.strWebPath;
  place.row = syncdb_->get_single_file(path);
  place.linkType = linkfolder_.linkTypeByWebPath(path, &place.linkRoot);
  if (place.linkType != LinkType::kNone) place.local = getnormalpath(path);
  if (place.linkType == LinkType::kSync) checkEntryPermissions(item, place);
  place.cache = cachefolder_.getNormalPathByWebPath(path, item.strFileHash);
  if (isigonore(path)) {
    place.status = SyncStatus::kServerOnly;
  } else if (!place.local.empty()) {
    place.status =
        place.linkType == LinkType::kBackup ? SyncStatus::kServerOnly : SyncStatus::kDownloadPending;
  } else {
    place.status = cachefolder_.checkByWebPath(path) >= 1 ? SyncStatus::kDownloadPending
                                                          : SyncStatus::kServerOnly;
  }
  return place;
}

// A sync link follows the entry's rights: reading withdrawn unlinks the
// whole link; a changed write right resets the local read-only flags.
void SyncManager::checkEntryPermissions(const CompareItem& item, const AddPlace& place) {
  const std::string& path = item.strWebPath;
  if (checkFilePropertyForRead(item.strPropertys, nPermissions) == 2) {
    const std::string root = place.linkRoot == "/" ? std::string() : place.linkRoot;
    const std::string text =
        fillMarks(Util::localizedStringForKey(kReadWithdrawn), {path, place.linkRoot});
    Util::getAppDelegate()->setGrowlNotificationDescripation(text, std::nullopt);
    remove_link(root);
    return;
  }
  const bool before = getFilePropertyForWrite(path);
  syncdb_->update_property(path, item.strPropertys);
  const bool after = getFilePropertyForWrite(path);
  if (before == after) return;
  const auto queue = Util::getAppDelegate()->taskQueue();
  if (!queue) {
    NBLOG_ERROR("library {}: no task queue to reset the file rights under {}", nMountID_, path);
    return;
  }
  queue->addOperation(std::make_shared<ResetSyncFileProperty>(shared_from_this(), path, after));
}

std::optional<SyncFileItem> SyncManager::addNewRow(const CompareItem& item, AddPlace& place,
                                                   ViewList* views) {
  const std::string& path = item.strWebPath;
  bool timeout = false;
  std::string movedTo;
  if (lastRename_.checkNode(path, timeout, &movedTo)) {
    if (timeout) {
      lastRename_.delNode(path);
    } else if (isRenameEcho(item, movedTo)) {
      return std::nullopt;
    }
  }
  if (place.status == SyncStatus::kDownloadPending && !place.cache.empty() &&
      item.ullFileSize > kCacheFetchLimit) {
    place.status = SyncStatus::kSynced;
  }
  SyncFileItem row;
  setNewRowFields(row, item);
  row.nStatus = place.status;
  row.nUpID = getFileUpID(path);
  if (row.nUpID == -1) NBLOG_ERROR("getFileUpID error {}", path);
  row.nID = syncdb_->add_new_file(row);

  if (row.nStatus == SyncStatus::kDownloadPending) {
    if (!place.local.empty() && !Util::existfile(place.local)) {
      ADD_Download(row, place.local, true, 0);
    } else if (!place.local.empty()) {
      meetLocalCopy(row, place.local);
    } else if (!place.cache.empty() && Util::existfile(place.cache)) {
      row.nStatus = SyncStatus::kSynced;
      syncdb_->update_status(path, row.nStatus);
    } else if (!place.cache.empty()) {
      ADD_Download(row, place.cache, true, 0);
    }
  }
  addParentViews(path, views);
  return row;
}

// The echo describes the very item the rename moved: the row at its new
// path has the entry's identity (or, without one, its kind and content).
// Anything else at the old name came after the rename and must arrive,
// or it would never get a row nor a download.
bool SyncManager::isRenameEcho(const CompareItem& item, const std::string& movedTo) const {
  if (movedTo.empty()) return true;
  const SyncFileItem moved = syncdb_->get_single_file(movedTo);
  if (moved.nStatus == SyncStatus::kNotFound || moved.bDir != item.bDir) return false;
  if (!moved.strUuidHash.empty() && !item.strHash.empty()) return moved.strUuidHash == item.strHash;
  return item.bDir || moved.strFileHash == item.strFileHash;
}

// A new server entry meets a local item that its row never saw. Unless the
// user asked for the server's version, the local copy is the user's work
// and wins: it is uploaded, and the server's version stays in its history.
void SyncManager::meetLocalCopy(SyncFileItem& row, const std::string& local) {
  const std::string& path = row.strWebPath;
  if (compare_file(local, row, true, true)) return;
  Network::shareNetwork()->ClearTrans(path, nMountID_, TransDirection::Both);
  if (overwrite_.checkNode(path)) {
    row.nStatus = SyncStatus::kDownloadPending;
    syncdb_->update_status(path, row.nStatus);
    ADD_Download(row, local, true, 0);
    nCallbackAction |= 2;
    return;
  }
  NBLOG_INFO("library {}: the local copy {} differs from the new server entry; uploading it",
             nMountID_, local);
  row.bDir = Util::isdir(local);
  row.ullFileSize = row.bDir ? 0 : Util::filesize(local);
  row.ullLastTime = Util::filemodifytime(local);
  row.strFileHash.clear();
  row.nStatus = SyncStatus::kUploadPending;
  syncdb_->update_file(row);
  Add_Upload(row, local, true, path);
  nCallbackAction |= 1;
}

std::optional<SyncFileItem> SyncManager::updateRow(const CompareItem& item, AddPlace& place,
                                                   ViewList* views, bool checkhotfile,
                                                   bool comparenow) {
  SyncFileItem& row = place.row;
  const std::string& path = item.strWebPath;
  const std::string storedHash = row.strFileHash;
  if (row.nLock != item.nLock) {
    followLock(item, place);
    addParentViews(path, views);
  }
  if (row.strProperty != item.strPropertys || row.strWebPath != path) addParentViews(path, views);
  takeServerFields(row, item);
  if (cachefolder_.checkByWebPath(path) >= 1) row.nStatus = SyncStatus::kDownloadPending;
  syncdb_->update_file(row);

  // A local deletion of this very content is the commit's to send.
  if (row.nStatus == SyncStatus::kDeletedLocally && row.strFileHash == item.strFileHash) {
    return std::nullopt;
  }
  if (row.bDir != item.bDir) return std::nullopt;
  bool timeout = false;
  if (lastRename_.checkNode(path, timeout)) {
    // The echo of a rename this client made carries the content the row
    // has; new content is another member's later edit and must arrive.
    if (!timeout && (item.bDir || item.strFileHash == storedHash)) return std::nullopt;
    if (timeout) lastRename_.delNode(path);
  }
  compare_data(row, item, comparenow);
  queueAfterComparison(row, place, checkhotfile);
  return row;
}

// The local file's read-only flag follows the server lock: a file locked by
// another member must not be edited here; folders are never made read-only.
void SyncManager::followLock(const CompareItem& item, const AddPlace& place) {
  if (place.status != SyncStatus::kDownloadPending || place.local.empty()) return;
  if (!Util::existfile(place.local)) return;
  const bool byOther =
      item.nLock == 1 && item.nLockMemberID != UserData::shareUserData().userID();
  if (byOther && !Util::isdir(place.local)) {
    Util::setfilereadonly(place.local);
  } else {
    Util::setfilereadwirte(place.local);
  }
}

void SyncManager::queueAfterComparison(SyncFileItem& row, const AddPlace& place,
                                       bool checkhotfile) {
  const std::string& path = row.strWebPath;
  const auto network = Network::shareNetwork();
  if (row.nStatus == SyncStatus::kDownloadPending) {
    const std::string& target =
        place.local.empty() && !place.cache.empty() ? place.cache : place.local;
    if (!row.bDir) {
      // The server's version replaces the local file: an edit of it still
      // waiting to go up would replace the server's version in turn.
      network->ClearTrans(path, nMountID_, TransDirection::Upload);
      TransPortDB::shareTransPortDB().Remove_Upload(nMountID_, path);
    }
    network->ClearTrans(path, nMountID_, TransDirection::Download);
    ADD_Download(row, target, true, 0);
    nCallbackAction |= 2;
  } else if (row.nStatus == SyncStatus::kUploadPending) {
    network->ClearTrans(path, nMountID_, TransDirection::Upload);
    Add_Upload(row, place.local, true, path);
    nCallbackAction |= 1;
  } else if (checkhotfile && place.linkType == LinkType::kNone &&
             Mountsdb::shareMountsdb().checkHotFile(row.strUuidHash) &&
             SyncCache::shareSyncCache().getFullPathByFileHash(row.strFileHash).empty()) {
    network->ClearTrans(path, nMountID_, TransDirection::Download);
    ADD_Download(row, "", false, kExpandHotFile);
    nCallbackAction |= 2;
  }
}

void SyncManager::addParentViews(const std::string& webpath, ViewList* views) const {
  if (views == nullptr) return;
  for (auto& view : Util::getAppDelegate()->checkCurrent(nMountID_, getParent(webpath))) {
    if (std::find(views->begin(), views->end(), view) == views->end()) views->push_back(view);
  }
}

}  // namespace nb
