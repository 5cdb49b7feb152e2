// Renaming a library item from a page: told to the server first, carried
// out as copy and delete when the server cannot take it.
#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilStatus.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/links/SafeWebPath.h"
#include "sync/operations/Network.h"

namespace nb {
namespace {

constexpr int64_t kRenameRefused = 403201;

}  // namespace

std::string SyncManager::gRenameFile(const std::string& oldwebpath,
                                     const std::string& newwebpath) {
  if (!isSafeEntryPath(oldwebpath) || !isSafeEntryPath(newwebpath)) {
    NBLOG_ERROR("library {}: a page rename with an unsafe path was refused", nMountID_);
    return Util::errorInfoWithCode(Util::kBadParameters);
  }
  std::string answer = Util::errorInfoWithCode(0);
  const bool caseOnly = lowercaseString(oldwebpath) == lowercaseString(newwebpath);
  const SyncFileItem taken = syncdb_->get_single_file(newwebpath);
  if (taken.nStatus != SyncStatus::kNotFound && !caseOnly) {
    answer = Util::errorInfoWithCode(taken.bDir ? Util::kFolderExists : Util::kFileExists);
    Network::shareNetwork()->ClearTrans(oldwebpath, nMountID_);
    return answer;
  }
  const std::string oldLocal = getnormalpath(oldwebpath);
  const std::string newLocal = getnormalpath(newwebpath);
  const uint64_t now = platform::nowSeconds();
  // A change of letter case alone keeps the one row and the one local item
  // (the local name keeps its case; the mapping still finds it). Copying
  // the row onto itself and deleting the source would delete the item.
  const auto renameCase = [&] {
    renameFoldersAt(oldwebpath, newwebpath);
    placeRows(oldwebpath, newwebpath);
  };
  if (!Util::getAppDelegate()->bLinkNetwork()) {
    if (caseOnly) {
      renameCase();
    } else {
      renameByCopy(oldwebpath, newwebpath, oldLocal, newLocal, now);
      if (!newLocal.empty() && Util::existfile(newLocal)) Util::setfilemodifytime(newLocal, now);
    }
  } else if (syncdb_->get_single_file(oldwebpath).nStatus != SyncStatus::kNotFound) {
    const RequestRet ret =
        HTTPEngine::setFileRename(UserData::shareUserData().userToken(), oldwebpath, nMountID_,
                                  getFilename(newwebpath), 0);
    if (ret.nStatusCode() == 200) {
      applyServerRename(oldwebpath, newwebpath, oldLocal, newLocal);
    } else if (ret.nErrorCode() == kRenameRefused) {
      answer = Util::errorInfoWithCode(kRenameRefused, ret.strErrorMsg());
    } else if (caseOnly) {
      renameCase();
    } else {
      NBLOG_WARN("library {}: the server did not rename {} (status {}, code {}); copied instead",
                 nMountID_, oldwebpath, ret.nStatusCode(), ret.nErrorCode());
      renameByCopy(oldwebpath, newwebpath, oldLocal, newLocal, now);
    }
  }
  Network::shareNetwork()->ClearTrans(oldwebpath, nMountID_);
  return answer;
}

void SyncManager::applyServerRename(const std::string& oldwebpath, const std::string& newwebpath,
                                    const std::string& oldlocal, const std::string& newlocal) {
  lastRename_.addNode(oldwebpath, newwebpath);
  TransPortDB::shareTransPortDB().RenameTrans(nMountID_, oldwebpath, newwebpath, oldlocal,
                                              newlocal);
  Network::shareNetwork()->RenameWebpath(nMountID_, oldwebpath, newwebpath);
  renameFoldersAt(oldwebpath, newwebpath);
  placeRows(oldwebpath, newwebpath);
  const uint64_t now = platform::nowSeconds();
  syncdb_->update_lasttime(newwebpath, now);
  syncdb_->update_weblasttime(newwebpath, now);
  if (linkfolder_.checkLinkByWebPath(newwebpath) && !oldlocal.empty() && !newlocal.empty() &&
      Util::existfile(oldlocal)) {
    if (!Util::movefile(oldlocal, newlocal)) {
      NBLOG_WARN("library {}: could not move {} to {}", nMountID_, oldlocal, newlocal);
    }
  }
  // The local item's time is the row's, so that the folder watching sees
  // nothing to upload.
  if (!newlocal.empty() && Util::existfile(newlocal)) Util::setfilemodifytime(newlocal, now);
}

// The linked and cache-mode folders follow before the source is marked
// deleted: the deletion would otherwise unlink them.
void SyncManager::renameByCopy(const std::string& oldwebpath, const std::string& newwebpath,
                               const std::string& oldlocal, const std::string& newlocal,
                               uint64_t now) {
  TransPortDB::shareTransPortDB().RenameTrans(nMountID_, oldwebpath, newwebpath, oldlocal,
                                              newlocal);
  Network::shareNetwork()->RenameWebpath(nMountID_, oldwebpath, newwebpath);
  std::vector<SyncFileItem> rows = getfilelistrename(oldwebpath, newwebpath);
  addfile(rows, true, newwebpath);
  renameFoldersAt(oldwebpath, newwebpath);
  delfile({oldwebpath});
  syncdb_->update_lasttime(newwebpath, now);
  syncdb_->update_weblasttime(newwebpath, now);
  if (linkfolder_.checkLinkByWebPath(newwebpath) && !oldlocal.empty() && !newlocal.empty() &&
      Util::existfile(oldlocal)) {
    if (!Util::movefile(oldlocal, newlocal)) {
      NBLOG_WARN("library {}: could not move {} to {}", nMountID_, oldlocal, newlocal);
    }
  }
}

}  // namespace nb
