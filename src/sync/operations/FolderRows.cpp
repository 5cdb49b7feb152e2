// Parent ids of rows, the folder rows that stand for parents never listed,
// and the first listing of a folder a page opens.
#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/app/PageEvent.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "stores/syncdb/SyncStatus.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/links/SafeWebPath.h"

namespace nb {

namespace {

std::string parentOf(const std::string& webpath) {
  const auto slash = webpath.rfind('/');
  return slash == std::string::npos ? std::string() : webpath.substr(0, slash);
}

SyncFileItem rowFromListing(const CompareItem& item, int64_t upid) {
  SyncFileItem row;
  row.nUpID = upid;
  row.strWebPath = item.strWebPath;
  row.bDir = item.bDir;
  row.strFileHash = item.bDir ? std::string() : item.strFileHash;
  row.ullFileSize = item.bDir ? 0 : item.ullFileSize;
  row.strUuidHash = item.strHash;
  row.ullLastTime = item.ullWebLastTime;
  row.ullWebLastTime = item.ullWebLastTime;
  row.ullCreatorTime = item.ullCreatorTime;
  row.nLastID = item.nLastMemberID;
  row.strLastName = item.strLastMemberName;
  row.nLock = item.nLock;
  row.nLockID = item.nLockMemberID;
  row.strProperty = item.strPropertys;
  return row;
}

}  // namespace

int64_t SyncManager::getFileUpID(const std::string& webpath) {
  const std::string parent = parentOf(webpath);
  if (parent.empty()) return 0;
  const int64_t id = syncdb_->getID(parent);
  if (id != -1) return id;
  return createNewFolder(parent).nID;
}

SyncFileItem SyncManager::createNewFolder(const std::string& webpath) {
  const uint64_t now = platform::nowSeconds();
  const UserData& user = UserData::shareUserData();
  SyncFileItem row;
  row.strWebPath = webpath;
  row.bDir = true;
  row.nStatus = SyncStatus::kServerOnly;
  row.nLastID = user.userID();
  row.strLastName = user.userWebName();
  row.ullLastTime = row.ullCreatorTime = row.ullWebLastTime = now;
  row.nUpID = getFileUpID(webpath);
  if (row.nUpID == -1) return row;
  row.nID = syncdb_->add_new_file(row);
  return row;
}

// Listed items the store does not hold yet become rows: server-only outside
// the linked folders, fetched into them inside. Items already held only get
// their identity back, which is what keeps them from the sweep.
void SyncManager::applyListedItems(const std::vector<CompareItem>& items) {
  for (const auto& item : items) {
    if (!isSafeEntryPath(item.strWebPath)) {
      NBLOG_ERROR("listing of library {} holds an unsafe path, skipped", nMountID_);
      continue;
    }
    const SyncFileItem held = syncdb_->get_single_file(item.strWebPath);
    if (held.nStatus != SyncStatus::kNotFound) {
      syncdb_->update_uuidhash(item.strWebPath, item.strHash);
      continue;
    }
    SyncFileItem row = rowFromListing(item, getFileUpID(item.strWebPath));
    const std::string local = getnormalpath(item.strWebPath);
    if (local.empty()) {
      row.nStatus = SyncStatus::kServerOnly;
    } else if (row.bDir) {
      Util::createfolder(local);
      row.nStatus = SyncStatus::kSynced;
    } else {
      row.nStatus = SyncStatus::kDownloadPending;
    }
    row.nID = syncdb_->add_new_file(row);
    if (row.nStatus == SyncStatus::kDownloadPending) ADD_Download(row, local, true, 0);
  }
}

void SyncManager::firstCompareFileList(const std::string& webpath, bool check) {
  const RetFileList ret = HTTPEngine::getFileList(UserData::shareUserData().userToken(), webpath,
                                                  nMountID_, "", "", 0);
  if (ret.nStatusCode() != 200) return;
  if (check) markgetfilelist_.addNode(webpath);
  const std::vector<CompareItem> items = ret.itemlist.value_or(std::vector<CompareItem>{});
  const int64_t folderId = webpath.empty() ? 0 : syncdb_->getID(webpath);
  const bool marked = folderId != -1;
  if (marked) syncdb_->reset_webpath(folderId);
  applyListedItems(items);
  // A listing cut at the server's limit does not name every child: sweeping
  // would drop rows the server still has.
  if (marked && static_cast<int64_t>(items.size()) < HTTPEngine::kFileListSize) {
    syncdb_->delete_reset_webpath(folderId);
  }
  NBLOG_INFO("{},{}", nMountID_, webpath);
  if (const auto event = PageEvent::fromJsonText("UpdateFileList", "{}")) {
    Util::getAppDelegate()->setAllCustomEvent(*event);
  }
}

}  // namespace nb
