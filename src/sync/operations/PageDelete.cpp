// Deleting library items from a page, and restoring deleted ones from the
// library's recycle bin.
#include <mutex>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilStatus.h"
#include "platform/Log.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/links/SafeWebPath.h"
#include "sync/local/LocalSteps.h"
#include "sync/operations/Network.h"

namespace nb {
namespace {

constexpr int64_t kDeleteRefused = 40310;
constexpr int64_t kEntryGone = 40402;
constexpr int64_t kTokenExpired = 40101;
constexpr int64_t kTokenInvalid = 40102;

bool tokenError(int64_t code) { return code == kTokenExpired || code == kTokenInvalid; }

}  // namespace

std::string SyncManager::gDeleteFile(const std::vector<std::string>& webpaths) {
  for (const auto& webpath : webpaths) {
    if (!isSafeEntryPath(webpath)) {
      NBLOG_ERROR("library {}: a page deletion with an unsafe path was skipped", nMountID_);
      continue;
    }
    const SyncFileItem row = syncdb_->get_single_file(webpath);
    if (row.nStatus == SyncStatus::kNotFound || row.nStatus == SyncStatus::kRemovedOnServer) {
      continue;
    }
    deleteOne(row);
  }
  bSpaceMax = false;
  return Util::errorInfoWithCode(0);
}

void SyncManager::deleteOne(const SyncFileItem& row) {
  const std::string& webpath = row.strWebPath;
  syncdb_->update_status(webpath, SyncStatus::kDeletedLocally);
  if (row.bDir) {
    syncdb_->update_status_deletebyparent(webpath);
    dropFoldersAt(webpath);
  }
  // A linked folder's root was unlinked just above: its local folder stays.
  const int64_t type = linkfolder_.linkTypeByWebPath(webpath);
  const std::string local = getnormalpath(webpath);
  if (type != LinkType::kNone && type != LinkType::kBackup && !local.empty() &&
      Util::existfile(local) && !local::ignoredLocal(*this, local)) {
    // A failed move to the Trash keeps the item rather than deleting it.
    const bool gone = Util::getAppDelegate()->bRecyclebin() ? Util::deletefile2recyclebin(local)
                                                            : Util::deletefile(local);
    if (!gone) NBLOG_WARN("library {}: could not delete {}", nMountID_, local);
  }
  waitForAddToStop(webpath);
  TransPortDB::shareTransPortDB().RemoveWebpathUnFinish(nMountID_, webpath);
  Network::shareNetwork()->ClearTrans(webpath, nMountID_);
  if (Util::getAppDelegate()->bLinkNetwork()) deletefileforserver(row);
}

void SyncManager::deletefileforserver(const SyncFileItem& row) {
  const std::string path = row.bDir ? row.strWebPath + "/" : row.strWebPath;
  UserData& user = UserData::shareUserData();
  const RequestRet ret = HTTPEngine::setFileDel(user.userToken(), path, nMountID_, 0);
  const int64_t code = ret.nErrorCode();
  if (ret.nStatusCode() == 200 || code == kEntryGone || code == kDeleteRefused) {
    if (row.bDir) {
      syncdb_->del_dir(row.strWebPath);
    } else {
      syncdb_->del_file(row.strWebPath);
    }
    // A refusal means the server still has the item: its folder is compared again.
    if (ret.nStatusCode() != 200 && code == kDeleteRefused) {
      reset_sync(getParent(row.strWebPath), true, false);
    }
    TransPortDB::shareTransPortDB().RemoveWebpathUnFinish(nMountID_, row.strWebPath);
    return;
  }
  if (tokenError(code)) user.regettoken();
}

std::string SyncManager::gRecover(const std::vector<std::string>& webpaths) {
  UserData& user = UserData::shareUserData();
  const RetRecover ret = HTTPEngine::setFileRecover(user.userToken(), nMountID_, webpaths, 0);
  if (ret.nStatusCode() != 200) {
    if (tokenError(ret.nErrorCode())) user.regettoken();
    // Without an error code from the server nothing says what happened: the
    // page must not take it for a restore.
    if (ret.nErrorCode() == 0) return Util::errorInfoWithCode(Util::kNetworkDown);
    return Util::errorInfoWithCode(ret.nErrorCode(), ret.strErrorMsg());
  }
  for (const auto& item : ret.itemlist.value_or(std::vector<CompareItem>{})) {
    if (!isSafeEntryPath(item.strWebPath)) {
      NBLOG_ERROR("library {}: a restored item with an unsafe path was skipped", nMountID_);
      continue;
    }
    {
      std::lock_guard hold(*this);
      receive_add(item, nullptr, false, true);
    }
    if (item.bDir) reset_sync(item.strWebPath, true, false);
  }
  return Util::errorInfoWithCode(0);
}

}  // namespace nb
