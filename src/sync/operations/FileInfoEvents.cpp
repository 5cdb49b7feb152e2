// The page form of a row and the "UpdateFileInfo" events that carry it.
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "stores/cache/SyncCache.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/operations/PageNotices.h"

namespace nb {
namespace {

// A record counts as live until it is finished.
bool live(const TransportItem& record) {
  return record.nIndex > 0 && record.nStatus != kTransFinished;
}

// The favourite groups as the JSON list the row conversion takes; "" for none.
std::string favoritesText(const std::string& uuidhash) {
  if (uuidhash.empty()) return {};
  const std::vector<int64_t> groups = Mountsdb::shareMountsdb().getTypeForHash(uuidhash);
  if (groups.empty()) return {};
  std::string text = "[";
  for (size_t i = 0; i < groups.size(); ++i) {
    if (i > 0) text += ",";
    text += std::to_string(groups[i]);
  }
  return text + "]";
}

}  // namespace

JsonValue SyncManager::SyncFileItemToDictionary(SyncFileItem& item, int64_t /*parentlink*/) {
  const int64_t linkType = linkfolder_.linkTypeByWebPath(item.strWebPath);
  const int64_t cache = cachefolder_.checkByWebPath(item.strWebPath);
  auto& transfers = TransPortDB::shareTransPortDB();
  int64_t have = 0;
  bool uploading = false;
  if (live(transfers.Get_Upload(nMountID_, item.strWebPath))) {
    item.nStatus = SyncStatus::kUploadPending;
    have = 1;
    uploading = true;
  } else if (live(transfers.Get_Download(nMountID_, item.strWebPath))) {
    item.nStatus = SyncStatus::kDownloadPending;
  }
  if (Util::getAppDelegate()->bLinkNetwork()) {
    have = 1;
  } else if (!item.strFileHash.empty() &&
             !SyncCache::shareSyncCache().getFullPathByFileHash(item.strFileHash).empty()) {
    have = 1;
  } else if (const std::string local = getnormalpath(item.strWebPath); !local.empty()) {
    have = Util::existfile(local) || uploading ? 1 : 0;
  }
  return item.convert2dictionary(linkType, have, cache, favoritesText(item.strUuidHash));
}

void SyncManager::sendToViews(const std::string& webpath, const PageEvent& event) const {
  for (const auto& view : Util::getAppDelegate()->checkCurrent(nMountID_, getParent(webpath))) {
    view->setCustomEvent(event);
  }
}

void SyncManager::SendUpdateFileInfo(SyncFileItem& item, bool all) {
  const auto event =
      PageEvent::make("UpdateFileInfo", withMountId(SyncFileItemToDictionary(item), nMountID_));
  if (!event) return;
  if (all) {
    Util::getAppDelegate()->setAllCustomEvent(*event);
  } else {
    sendToViews(item.strWebPath, *event);
  }
}

void SyncManager::SendUpdateFileInfoByWebpath(const std::string& webpath) {
  // Most changes concern folders no window shows: no row is read for them.
  const auto views = Util::getAppDelegate()->checkCurrent(nMountID_, getParent(webpath));
  if (views.empty()) return;
  SyncFileItem row = syncdb_->get_single_file(webpath);
  if (row.nStatus == SyncStatus::kNotFound) return;
  const auto event =
      PageEvent::make("UpdateFileInfo", withMountId(SyncFileItemToDictionary(row), nMountID_));
  if (!event) return;
  for (const auto& view : views) view->setCustomEvent(*event);
}

void SyncManager::SendUpdateFileInfoByUuidHash(const std::string& uuidhash) {
  SyncFileItem row = syncdb_->get_uuidhash_file(uuidhash);
  if (row.nStatus == SyncStatus::kNotFound) return;
  SendUpdateFileInfo(row, false);
}

void SyncManager::update_sync_item(SyncFileItem& item) {
  const auto views = Util::getAppDelegate()->checkCurrent(nMountID_, getParent(item.strWebPath));
  if (views.empty()) return;
  const auto event =
      PageEvent::make("UpdateFileInfo", withMountId(SyncFileItemToDictionary(item), nMountID_));
  if (!event) return;
  for (const auto& view : views) view->setCustomEvent(*event);
}

}  // namespace nb
