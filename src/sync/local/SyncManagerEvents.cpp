// The sync manager's side of folder watching: the handlers of an added,
// deleted or changed local item, the rescan a watcher asks for when events
// were lost, and the recent-event lists that recognise the engine's own
// work. Renames and moves are in LocalMoves.cpp.

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/local/LocalSteps.h"
#include "sync/local/ReadOnlyConflict.h"
#include "sync/operations/PageNotices.h"

namespace nb {
namespace {

bool found(const SyncFileItem& row) { return row.nStatus != SyncStatus::kNotFound; }

// Every proper ancestor of the web path, from the top ("a/b/c": a, a/b).
std::vector<std::string> ancestorsOf(const std::string& webpath) {
  std::vector<std::string> folders;
  for (size_t slash = webpath.find('/'); slash != std::string::npos;
       slash = webpath.find('/', slash + 1)) {
    folders.push_back(webpath.substr(0, slash));
  }
  return folders;
}

}  // namespace

bool SyncManager::eventadd(const std::string& path) {
  if (local::ignoredLocal(*this, path) || !Util::existfile(path)) return false;
  if (local::isFileLink(path) || local::leadsToAncestor(path)) return false;
  const std::string p = local::fixSpaces(path);
  const std::string w = getrelativepath(p);
  if (w.empty()) return false;
  SyncFileItem r = syncdb_->get_single_file(w);
  const bool dir = Util::isdir(p);
  const uint64_t t = Util::filemodifytime(p);
  const uint64_t size = local::itemSize(p, dir);

  if (readOnlyRefusesAdd(p, w, r, dir, size, t)) return false;
  if (dir) {
    scandir(p);
    local::regetUploads();
  }
  if (isOwnWrite(w, size, t)) return true;
  for (const auto& folder : ancestorsOf(w)) syncdb_->reset_del(folder);

  if (found(r)) {
    if (!compare_file(p, r, false, false)) {
      if (!r.bDir) {
        local::dropTransfers(*this, w);
        if (r.nStatus == SyncStatus::kDownloadPending) local::queueDownload(*this, r, p);
        if (r.nStatus == SyncStatus::kUploadPending) local::queueUpload(*this, r, p);
      }
      sendUpdateFileInfo(*this, r);
    }
  } else {
    r = local::newLocalRow(w, p, dir, size, t);
    r.nUpID = getFileUpID(w);
    if (r.nUpID == -1) NBLOG_ERROR("getFileUpID error {}", w);
    r.nID = syncdb_->add_new_file(r);
    local::queueUpload(*this, r, p);
    local::tellFolder(*this, getParent(w));
  }
  local::askCompare(*this);
  return true;
}

// In a sync link the user may not write to, an edit of a known file is kept
// as a conflict copy (taken in when it may be uploaded) while the server's
// version comes back; nothing at all is taken in without the upload right.
bool SyncManager::readOnlyRefusesAdd(const std::string& p, const std::string& w,
                                     const SyncFileItem& r, bool dir, uint64_t size, uint64_t t) {
  if (linkfolder_.linkTypeByWebPath(w) != LinkType::kSync || getFilePropertyForWrite(w)) {
    return false;
  }
  if (found(r) && r.nStatus != SyncStatus::kUploadPending &&
      r.nStatus != SyncStatus::kRemovedOnServer && !dir &&
      (r.ullFileSize != size || r.ullLastTime != t)) {
    const std::string copy = local::readOnlyConflictCopy(*this, p, r);
    if (!copy.empty() && getFilePropertyForUpload(getrelativepath(copy))) eventadd(copy);
  }
  return !getFilePropertyForUpload(w);
}

bool SyncManager::eventdel(const std::string& path) {
  if (local::ignoredLocal(*this, path)) return false;
  const std::string w = getrelativepath(path);
  if (linkfolder_.checkSameLinkByFullPath(path)) {
    remove_link(w);
    return false;
  }
  // Outside every link: "" would name the whole library's transfers.
  if (w.empty()) return false;
  const SyncFileItem r = syncdb_->get_single_file(w);
  // A rename of the letter case alone reads as this name gone and another
  // come; the row still stands for the item under its other spelling, and
  // nothing of it was deleted.
  if (found(r) && !Util::existfile(path)) {
    const std::string standing = getnormalpath(r.strWebPath);
    if (!standing.empty() && Util::existfile(standing)) return true;
  }
  local::dropTransfers(*this, w);
  if (!found(r) || r.nStatus == SyncStatus::kRemovedOnServer) return true;
  TransPortDB::shareTransPortDB().RemoveWebpathUnFinish(nMountID_, w);
  if (!Util::existfile(path)) {
    const int64_t type = linkfolder_.linkTypeByWebPath(r.strWebPath);
    if (type == LinkType::kBackup) {
      reset_sync(r.strWebPath, r.bDir, false);
      return true;
    }
    syncdb_->update_status(w, SyncStatus::kDeletedLocally);
    if (r.bDir) {
      syncdb_->update_status_deletebyparent(r.strWebPath);
      std::vector<LinkFolderNode> removed;
      if (linkfolder_.removeByWebPath(w, removed)) {
        if (type == LinkType::kUnset) {
          for (const auto& link : removed) {
            SyncCenter::shareSyncCenter().stopWatch(link.strFullPath, shared_from_this());
          }
        }
        syncdb_->remove_link(w, false);
      }
    }
  }
  local::tellFolder(*this, getParent(r.strWebPath));
  return true;
}

bool SyncManager::eventupdate(const std::string& path) {
  if (local::ignoredLocal(*this, path) || local::isFileLink(path)) return false;
  const std::string w = getrelativepath(path);
  SyncFileItem r = syncdb_->get_single_file(w);
  const bool dir = Util::isdir(path);
  const uint64_t t = Util::filemodifytime(path);
  const uint64_t size = local::itemSize(path, dir);
  // A new file written at once (the conflict copy among them) is seen as
  // created and modified in one event, handled here: it is an addition,
  // which decides for itself what a read-only folder takes in.
  if (!found(r)) return eventadd(path);
  if (!w.empty() && linkfolder_.linkTypeByWebPath(w) == LinkType::kSync &&
      !getFilePropertyForWrite(w)) {
    if (dir || (r.ullFileSize == size && r.ullLastTime == t)) return false;
    // The copy's own file event brings it in.
    local::readOnlyConflictCopy(*this, path, r);
    return false;
  }
  if (r.bDir) {
    if (t != r.ullLastTime) syncdb_->update_lasttime(r.strWebPath, t);
    return true;
  }
  if (isOwnWrite(w, size, t)) return true;
  if (compare_modify(path, r)) return true;
  local::dropTransfers(*this, r.strWebPath);
  local::queueUpload(*this, r, path);
  sendUpdateFileInfo(*this, r);
  return true;
}

void SyncManager::requestFullRescan() {
  bScaned = false;
  startCanCompare();
  SyncCenter::shareSyncCenter().setBCompareNow(true);
}

void SyncManager::set_add_filelistinfo(const std::string& webpath, uint64_t filesize,
                                       uint64_t lasttime) {
  std::lock_guard lock(listsMutex_);
  copylist_.set_add_filelistinfo(webpath, filesize, lasttime);
}

bool SyncManager::isOwnWrite(const std::string& webpath, uint64_t filesize, uint64_t lasttime) {
  std::lock_guard lock(listsMutex_);
  return copylist_.isOwnWrite(webpath, filesize, lasttime);
}

void SyncManager::forgetOwnWrite(const std::string& webpath) {
  std::lock_guard lock(listsMutex_);
  copylist_.forget(webpath);
}

void SyncManager::check_and_clear_copylist() {
  std::lock_guard lock(listsMutex_);
  copylist_.check_and_clear_copylist();
}

bool SyncManager::check_movelist(const std::string& path) {
  std::lock_guard lock(listsMutex_);
  return movelists_.check_movelist(path);
}

}  // namespace nb
