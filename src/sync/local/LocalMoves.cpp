// The handlers of a local item renamed in its folder or moved to another,
// which tell the server at once, and the retry of those the server did not
// settle.

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/local/LocalSteps.h"

namespace nb {
namespace {

constexpr int64_t kRefused = 40310;   // the server refuses the change here
constexpr int64_t kNotFound = 40402;  // the server does not have the item

bool found(const SyncFileItem& row) { return row.nStatus != SyncStatus::kNotFound; }

std::string asFolder(const std::string& webpath, bool dir) {
  return dir ? lastaddslash(webpath) : webpath;
}

}  // namespace

bool SyncManager::inScope(const std::string& path) {
  return !local::ignoredLocal(*this, path) && Util::existfile(path) &&
         !getrelativepath(path).empty();
}

bool SyncManager::leftScope(const std::string& oldpath, const std::string& newpath, int64_t mark) {
  if (inScope(newpath)) return false;
  const std::string wo = getrelativepath(oldpath);
  if (found(syncdb_->get_single_file(wo))) syncdb_->update_status(wo, mark);
  return true;
}

bool SyncManager::eventrename(const std::string& path, const std::string& newpath, bool push) {
  if (leftScope(path, newpath, SyncStatus::kDeletedLocally)) return false;
  const std::string fresh = local::fixSpaces(newpath);
  if (fresh == path) return false;
  if (Util::existfile(path)) return eventadd(fresh);
  const std::string wo = getrelativepath(path);
  const std::string wn = getrelativepath(fresh);
  const SyncFileItem ro = syncdb_->get_single_file(wo);
  const SyncFileItem rn = syncdb_->get_single_file(wn);
  // The row already carries the new spelling: the server made this
  // letter-case rename and the engine followed it here. Asking the server
  // for it again is refused for good, and the deferred entry would hold
  // the file back from every later change.
  if (found(ro) && ro.strWebPath == wn && wo != wn) {
    examineMoved(fresh, wn);
    return true;
  }
  const std::string token = UserData::shareUserData().userToken();
  if (!found(ro)) {
    const std::string target = asFolder(wo, Util::isdir(fresh));
    if (HTTPEngine::setFileRename(token, target, nMountID_, getFilename(wn)).nStatusCode() == 200) {
      lastRename_.addNode(target, wn);
    }
    return eventadd(fresh);
  }
  if (ro.nStatus == SyncStatus::kSynced && rn.nStatus != SyncStatus::kDeletedLocally) {
    const RequestRet ret =
        HTTPEngine::setFileRename(token, asFolder(wo, ro.bDir), nMountID_, getFilename(wn));
    if (ret.nStatusCode() == 200) {
      lastRename_.addNode(ro.strWebPath, wn);
      moveRows(wo, wn);
      if (ro.bDir) {
        scandir(fresh);
        // The rows below kept their transfers' old local paths.
        InitTrans();
      } else {
        examineMoved(fresh, wn);
      }
      local::tellFolder(*this, getParent(ro.strWebPath));
      return true;
    }
    if (ret.nErrorCode() == kRefused) {
      reset_sync(getParent(wo), true, false);
      return false;
    }
  }
  if (push) {
    std::lock_guard lock(listsMutex_);
    movelists_.renamelist.push_back(movefile_stx{path, fresh});
    TransPortDB::shareTransPortDB().RenameTrans(nMountID_, path, fresh);
  }
  return false;
}

bool SyncManager::eventremove(const std::string& path, const std::string& newpath, bool push) {
  if (leftScope(path, newpath, SyncStatus::kRemovedOnServer)) return false;
  const std::string wo = getrelativepath(path);
  const std::string wn = getrelativepath(newpath);
  const SyncFileItem ro = syncdb_->get_single_file(wo);
  // A row already taken as deleted here stands for an item that left its
  // path earlier in the batch (a letter-case rename, then this move, finds
  // the row under its old spelling): moving it would carry the deletion to
  // the new path and delete on the server what is now there. Its deletion
  // goes on; what arrived is a new item.
  if (!found(ro) || ro.nStatus == SyncStatus::kDeletedLocally) return eventadd(newpath);
  if (found(syncdb_->get_single_file(wn))) {
    eventdel(path);
    return eventadd(newpath);
  }
  const RequestRet ret =
      HTTPEngine::setFileMove(UserData::shareUserData().userToken(), asFolder(wo, ro.bDir),
                              nMountID_, asFolder(getParent(wn), ro.bDir));
  if (ret.nStatusCode() == 200) {
    moveRows(wo, wn);
    if (ro.bDir) {
      scandir(newpath);
      local::regetUploads();
    } else {
      examineMoved(newpath, wn);
    }
    return true;
  }
  if (ret.nErrorCode() == kRefused) {
    syncdb_->del_dir(ro.strWebPath);
    TransPortDB::shareTransPortDB().RemoveWebpath(nMountID_, ro.strWebPath);
    reset_sync(getParent(ro.strWebPath), true, false);
    return true;
  }
  if (ret.nErrorCode() == kNotFound) {
    // The server moved or deleted the item meanwhile. Its row must not stay
    // in sync with no local item (nothing would ever fetch the item back
    // nor remove it): the item is gone from there here, which the commit
    // settles where the row ends up; the moved one goes up as new.
    eventdel(path);
    return eventadd(newpath);
  }
  if (push) {
    std::lock_guard lock(listsMutex_);
    movelists_.removelist.push_back(movefile_stx{path, newpath});
  }
  return false;
}

// A file edited before its move (in the same batch of events, or while a
// deferred rename waited) is compared with its row where it stands now; a
// plain move leaves size and time as the row has them.
void SyncManager::examineMoved(const std::string& path, const std::string& webpath) {
  const SyncFileItem row = syncdb_->get_single_file(webpath);
  if (!found(row) || row.bDir || !Util::isfile(path)) return;
  if (Util::filesize(path) == row.ullFileSize && Util::filemodifytime(path) == row.ullLastTime) {
    return;
  }
  eventupdate(path);
}

// The server has the item at its new path: so do the rows. A stale row
// standing at the new path would make the move fail and leave the store
// naming the old path, so it goes first.
void SyncManager::moveRows(const std::string& wo, const std::string& wn) {
  placeRows(wo, wn);
  TransPortDB::shareTransPortDB().RemoveWebpath(nMountID_, wo);
}

void SyncManager::placeRows(const std::string& wo, const std::string& wn) {
  // A letter-case change keeps the row itself at the new path: never drop it.
  if (syncdb_->move(wo, wn, getFileUpID(wn)) || lowercaseString(wo) == lowercaseString(wn)) return;
  NBLOG_WARN("library {}: a stale row at {} gives way to the moved {}", nMountID_, wn, wo);
  syncdb_->del_dir(wn);
  syncdb_->move(wo, wn, getFileUpID(wn));
}

void SyncManager::check_rename_and_remove() {
  retryMoves(&MoveLists::renamelist, &SyncManager::eventrename);
  retryMoves(&MoveLists::removelist, &SyncManager::eventremove);
}

// Each entry once, in order. The list lock is never held across a handler,
// which may take it; only this sweep (under controllock) removes entries.
void SyncManager::retryMoves(std::vector<movefile_stx> MoveLists::*list,
                             bool (SyncManager::*handler)(const std::string&, const std::string&,
                                                          bool)) {
  size_t index = 0;
  for (;;) {
    movefile_stx entry;
    {
      std::lock_guard lock(listsMutex_);
      if (index >= (movelists_.*list).size()) return;
      entry = (movelists_.*list)[index];
    }
    const bool settled = (this->*handler)(entry.oldpath, entry.newpath, false);
    // A new path that is gone or ignored can never settle; its old row was
    // marked by the call, and the entry would hold back every later
    // deletion pass.
    const bool hopeless = !settled && !inScope(entry.newpath);
    if (settled || hopeless) {
      std::lock_guard lock(listsMutex_);
      auto& entries = movelists_.*list;
      entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
    } else {
      ++index;
    }
  }
}

}  // namespace nb
