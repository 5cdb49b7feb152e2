// Moves inside one library: those a page asks for, told to the server
// first, and those the change feed reports as made elsewhere.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilStatus.h"
#include "platform/Log.h"
#include "platform/OperationQueue.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/links/SafeWebPath.h"
#include "sync/operations/Network.h"
#include "sync/operations/ResetSyncFileProperty.h"
#include "sync/server/FeedPaths.h"

namespace nb {
namespace {

// The only refusal of a move or rename that a page is told about.
constexpr int64_t kMoveRefused = 403201;

bool safeItems(const std::vector<MoveItem>& items) {
  for (const auto& item : items) {
    if (!isSafeEntryPath(item.frompath) || !isSafeEntryPath(item.topath)) return false;
  }
  return true;
}

// A local item following its library item: moved to the new local path, or
// to the Trash when the new place is in no linked folder. A move onto an
// existing item fails and leaves the source where it is.
void moveLocalItem(const std::string& from, const std::string& to) {
  if (to.empty()) {
    if (!Util::deletefile2recyclebin(from)) NBLOG_WARN("could not move {} to the Trash", from);
    return;
  }
  if (!Util::movefile(from, to)) NBLOG_WARN("could not move {} to {}", from, to);
}

}  // namespace

std::string SyncManager::gMoveFile(const std::vector<MoveItem>& items) {
  if (checksub(items)) return Util::errorInfoWithCode(Util::kMoveIntoChild);
  if (!safeItems(items)) {
    NBLOG_ERROR("library {}: a page move with an unsafe path was refused", nMountID_);
    return Util::errorInfoWithCode(Util::kBadParameters);
  }
  TransPortDB::shareTransPortDB().CopyTrans(items, nMountID_, nMountID_);
  if (!Util::getAppDelegate()->bLinkNetwork()) {
    std::vector<SyncFileItem> rows = getfilelist(items);
    addfile(rows, true, "");
    std::vector<std::string> sources;
    for (const auto& item : items) {
      if (cachefolder_.renameByWebPath(item.frompath, item.topath)) {
        syncdb_->rename_cache(item.frompath, item.topath);
      }
      sources.push_back(item.frompath);
    }
    delfile(sources);
    return Util::errorInfoWithCode(0);
  }
  std::string answer;
  for (const auto& item : items) answer = moveOnServer(item);
  return answer;
}

std::string SyncManager::moveOnServer(const MoveItem& item) {
  if (syncdb_->get_single_file(item.topath).nStatus != SyncStatus::kNotFound) {
    moveByCopy(item);
    return Util::errorInfoWithCode(0);
  }
  const auto asSent = [&](const std::string& path) { return item.dir ? path + "/" : path; };
  const RequestRet ret =
      HTTPEngine::setFileMove(UserData::shareUserData().userToken(), asSent(item.frompath),
                              nMountID_, asSent(getParent(item.topath)), 0);
  if (ret.nStatusCode() == 200) {
    renameFoldersAt(item.frompath, item.topath);
    moveRows(item.frompath, item.topath);
    Network::shareNetwork()->ClearTrans(item.frompath, nMountID_);
    const std::string from = getnormalpath(item.frompath);
    if (linkfolder_.checkInLinkByWebPath(item.frompath) && !from.empty() && Util::existfile(from)) {
      moveLocalItem(from, getnormalpath(item.topath));
    }
    return Util::errorInfoWithCode(0);
  }
  if (ret.nErrorCode() == kMoveRefused) {
    return Util::errorInfoWithCode(kMoveRefused, ret.strErrorMsg());
  }
  NBLOG_WARN("library {}: the server did not move {} (status {}, code {}); copied instead",
             nMountID_, item.frompath, ret.nStatusCode(), ret.nErrorCode());
  moveByCopy(item);
  return Util::errorInfoWithCode(0);
}

// The root of a linked folder keeps its local folder where it is: it is
// unlinked by the deletion of the source, and sending it to the Trash with
// everything in it (as a move out of every link would) risks local work not
// yet uploaded.
void SyncManager::moveByCopy(const MoveItem& item) {
  const std::string from = getnormalpath(item.frompath);
  if (linkfolder_.checkLinkByWebPath(item.frompath) &&
      !linkfolder_.checkSameLinkByWebPath(item.frompath) && !from.empty() &&
      Util::existfile(from)) {
    moveLocalItem(from, getnormalpath(item.topath));
  }
  if (cachefolder_.renameByWebPath(item.frompath, item.topath)) {
    syncdb_->rename_cache(item.frompath, item.topath);
  }
  std::vector<SyncFileItem> rows = getfilelist({item});
  addfile(rows, true, item.topath);
  delfile({item.frompath});
}

void SyncManager::receive_move(const std::string& oldwebpath, const std::string& newwebpath) {
  if (!isSafeEntryPath(oldwebpath) || !isSafeEntryPath(newwebpath)) return;
  // The store finds a path in any letter case: for a new case alone the
  // row found is the item's own, already there only when it carries the
  // new spelling (the rename was followed before). Taken for one already
  // there, it kept the transfer records at the old name, and the next
  // download of the item reused one of them and wrote the old name again.
  const bool newCaseOnly = lowercaseString(oldwebpath) == lowercaseString(newwebpath);
  const SyncFileItem atNew = syncdb_->get_single_file(newwebpath);
  const bool hadRow = atNew.nStatus != SyncStatus::kNotFound &&
                      (!newCaseOnly || atNew.strWebPath == newwebpath);
  const std::string oldLocal = getnormalpath(oldwebpath);
  std::string newLocal = getnormalpath(newwebpath);
  // A new letter case alone: the mapping of the new path would find the
  // item under its old spelling, so the new name is taken as the server
  // spells it, beside the item the old path found.
  if (!oldLocal.empty() && !newLocal.empty() && newCaseOnly) {
    newLocal = lastaddslash(getParent(oldLocal)) + getFilename(newwebpath);
  }
  LocalFollow followed = LocalFollow::kStayed;
  if (linkfolder_.renameByWebPath(oldwebpath, newwebpath)) {
    // The linked local folders stay where they are: only the web side moved.
    syncdb_->rename_link(oldwebpath, newwebpath);
    placeRows(oldwebpath, newwebpath);
  } else if (!oldLocal.empty() && !newLocal.empty() && Util::existfile(oldLocal)) {
    followed = followServerMove(oldwebpath, newwebpath, oldLocal, newLocal);
  } else if (!hadRow && !oldLocal.empty() && !newLocal.empty()) {
    // No local item to move (deleted here, or not downloaded yet): the rows
    // follow all the same, so that what they hold is settled at the item's
    // new place, a local deletion sent there and a waiting download fetched
    // there. Left behind, the deletion of the old path would take them, and
    // the item at its new path would have no row and never arrive.
    syncdb_->move(oldwebpath, newwebpath, getFileUpID(newwebpath));
  } else if (hadRow && !oldLocal.empty() && !newLocal.empty() && !Util::existfile(oldLocal) &&
             !newCaseOnly) {
    followRowsLeftBehind(oldwebpath, newwebpath);
  }
  if (cachefolder_.renameByWebPath(oldwebpath, newwebpath)) {
    syncdb_->rename_cache(oldwebpath, newwebpath);
  }
  if (!hadRow) {
    TransPortDB::shareTransPortDB().RenameTrans(nMountID_, oldwebpath, newwebpath, oldLocal,
                                                newLocal);
    if (followed == LocalFollow::kMoved) moveUploadSources(newwebpath, oldLocal, newLocal);
  }
  Network::shareNetwork()->RenameWebpath(nMountID_, oldwebpath, newwebpath);
  // An item left behind has lost its rows to the new place: it is taken in
  // as the folder watching takes a new local item, and so reaches the server
  // again at its old place; otherwise a later deletion of the new place
  // (its folder deleted here, say) would take the only copy of its content.
  // Taken in only now, so that the records renamed above do not carry its
  // upload to the new place. The engine's own recent write of the file (its
  // download, its times set) must not hide it: nothing else holds its
  // content any more.
  if (followed == LocalFollow::kLeftBehind) {
    forgetOwnWrite(oldwebpath);
    eventadd(oldLocal);
  }
}

// Upload records keep the local path they read from when their web path
// moves; one whose file moved with it would otherwise send a path that no
// longer exists, and a record sent from its hash would be re-sent without
// end against a row that never matches it.
void SyncManager::moveUploadSources(const std::string& newwebpath, const std::string& oldlocal,
                                    const std::string& newlocal) {
  auto& store = TransPortDB::shareTransPortDB();
  const std::string under = lastaddslash(oldlocal);
  for (const auto& record : store.Get_Uploads(nMountID_, newwebpath)) {
    if (record.strFullpath == oldlocal) {
      store.RenameTrans(nMountID_, record.strFullpath, newlocal);
    } else if (record.strFullpath.starts_with(under)) {
      store.RenameTrans(nMountID_, record.strFullpath,
                        lastaddslash(newlocal) + record.strFullpath.substr(under.size()));
    }
  }
}

// The folder already stands at its new path, rows and all: the echo of a
// rename or move made here. Entries the feed reported under the old path
// before that move (another member's new items in the folder, which the
// server moved along) got rows at the old path, with their downloads aimed
// there. Left behind, the deletion of the old path would drop them while
// the server keeps them at the new one; they take their places there
// instead, unless a row already stands for that place.
void SyncManager::followRowsLeftBehind(const std::string& oldwebpath,
                                       const std::string& newwebpath) {
  if (!syncdb_->get_single_file(newwebpath).bDir) return;
  std::vector<SyncFileItem> rows = syncdb_->get_all(oldwebpath);
  // Parents first: a folder's move takes what lies below it along.
  std::ranges::sort(rows, {}, [](const SyncFileItem& row) { return row.strWebPath.size(); });
  auto& transfers = TransPortDB::shareTransPortDB();
  for (const SyncFileItem& row : rows) {
    if (row.strWebPath.size() <= oldwebpath.size()) continue;
    const std::string target = newwebpath + row.strWebPath.substr(oldwebpath.size());
    if (syncdb_->get_single_file(row.strWebPath).nStatus == SyncStatus::kNotFound ||
        syncdb_->get_single_file(target).nStatus != SyncStatus::kNotFound) {
      continue;
    }
    if (!syncdb_->move(row.strWebPath, target, getFileUpID(target))) continue;
    transfers.RenameTrans(nMountID_, row.strWebPath, target, getnormalpath(row.strWebPath),
                          getnormalpath(target));
  }
}

// Another file already stands at the new name: the feed re-read a rename
// this side has followed before, or a local file took the name meanwhile.
// The row just moved there describes the file left at the old name, not
// this one; were it left so, a server deletion of the new name would take
// this file for the recorded copy and remove work that never reached the
// server. The file is recorded as the user's own edit and sent instead.
bool SyncManager::keepFileAtMoveTarget(const std::string& newwebpath, const std::string& oldlocal,
                                       const std::string& newlocal) {
  std::error_code ec;
  if (!Util::isfile(newlocal) || std::filesystem::equivalent(oldlocal, newlocal, ec)) return false;
  SyncFileItem row = syncdb_->get_single_file(newwebpath);
  if (row.nStatus == SyncStatus::kNotFound || row.bDir) return false;
  row.ullFileSize = Util::filesize(newlocal);
  row.ullLastTime = Util::filemodifytime(newlocal);
  row.strFileHash.clear();
  row.nStatus = SyncStatus::kUploadPending;
  syncdb_->update_file(row);
  if (Add_Upload(row, newlocal, true, newwebpath)) nCallbackAction |= kQueuedUpload;
  return true;
}

// Backup links never move their local files: the server's side is only
// recorded there.
SyncManager::LocalFollow SyncManager::followServerMove(const std::string& oldwebpath,
                                                       const std::string& newwebpath,
                                                       const std::string& oldlocal,
                                                       const std::string& newlocal) {
  const bool writeBefore = getFilePropertyForWrite(oldwebpath);
  const bool writeAfter = getFilePropertyForWrite(newwebpath);
  placeRows(oldwebpath, newwebpath);
  if (linkfolder_.linkTypeByWebPath(oldwebpath) == LinkType::kBackup) return LocalFollow::kStayed;
  // The local item already stands where the server put it (the echo of a
  // letter-case rename made here): nothing moves, and an edit it holds that
  // is not uploaded yet must not be taken for a write of the engine's own.
  LocalFollow followed = LocalFollow::kStayed;
  if (oldlocal != newlocal) {
    if (!Util::movefile(oldlocal, newlocal)) {
      NBLOG_WARN("library {}: could not move {} to {}", nMountID_, oldlocal, newlocal);
      if (keepFileAtMoveTarget(newwebpath, oldlocal, newlocal)) return LocalFollow::kStayed;
      if (Util::existfile(oldlocal)) return LocalFollow::kLeftBehind;
    } else {
      followed = LocalFollow::kMoved;
    }
    // The folder watching must not take the moved item for a local change.
    set_add_filelistinfo(newwebpath, Util::filesize(newlocal), Util::filemodifytime(newlocal));
  }
  if (linkfolder_.linkTypeByWebPath(newwebpath) != LinkType::kSync || writeBefore == writeAfter) {
    return followed;
  }
  if (const auto queue = Util::getAppDelegate()->taskQueue()) {
    queue->addOperation(
        std::make_shared<ResetSyncFileProperty>(shared_from_this(), newwebpath, writeAfter));
  } else {
    NBLOG_ERROR("library {}: no task queue to reset the file rights under {}", nMountID_,
                newwebpath);
  }
  return followed;
}

}  // namespace nb
