// The manager's side of queuing transfers: rows that must travel become
// waiting records of the transfer store.
#include "api/models/TransportItem.h"
#include "foundation/text/StringHelpers.h"
#include "platform/Log.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/links/SafeWebPath.h"
#include "sync/operations/Network.h"

namespace nb {
namespace {

// Upload kinds of a record (nExpand).
constexpr int64_t kExpandFromHash = 2;  // no local content: made from the hash
constexpr int64_t kExpandForced = 3;    // the server asked for the content again
constexpr int64_t kExpandOpened = 1;    // an edit of a file opened from a page

// The fields both directions take from the row.
TransportItem waitingRecord(int64_t mountId, const SyncFileItem& item, const std::string& fullpath,
                            bool sync) {
  TransportItem record;
  record.nMountid = mountId;
  record.strWebpath = item.strWebPath;
  record.strFullpath = fullpath;
  record.nStatus = kTransWaiting;
  record.bDir = item.bDir;
  record.strFilehash = item.strFileHash;
  record.ullFilesize = item.ullFileSize;
  record.bSync = sync;
  return record;
}

}  // namespace

bool SyncManager::Add_Upload(const SyncFileItem& item, const std::string& fullpath, bool sync,
                             const std::string& parent) {
  TransportItem record = waitingRecord(nMountID_, item, fullpath, sync);
  record.ullLast = item.ullLastTime;
  if (item.nStatus == SyncStatus::kReupload) record.nExpand = kExpandForced;
  if (fullpath.empty()) record.nExpand = kExpandFromHash;
  return TransPortDB::shareTransPortDB().Add_Upload(record, parent);
}

bool SyncManager::Add_Upload(const SyncFileItem& item, const std::string& fullpath, bool sync,
                             const std::string& parent, bool open) {
  TransportItem record = waitingRecord(nMountID_, item, fullpath, sync);
  record.ullLast = item.ullLastTime;
  if (item.nStatus == SyncStatus::kReupload) record.nExpand = kExpandForced;
  if (fullpath.empty()) {
    record.nExpand = kExpandFromHash;
  } else {
    record.strFilehash.clear();  // the transfer engine hashes the file itself
  }
  if (open) record.nExpand = kExpandOpened;
  return TransPortDB::shareTransPortDB().Add_Upload(record, parent);
}

void SyncManager::ADD_Download(const SyncFileItem& item, const std::string& fullpath, bool sync,
                               int64_t expand) {
  TransportItem record = waitingRecord(nMountID_, item, fullpath, sync);
  record.nExpand = expand;
  record.nStat = 1;
  TransPortDB::shareTransPortDB().Add_Download(record);
}

void SyncManager::gSaveAs(const std::string& webpath, const std::string& fullpath) {
  SyncFileItem item = syncdb_->get_single_file(webpath);
  if (item.nStatus == SyncStatus::kNotFound) return;
  ADD_Download(item, fullpath, false, 0);
  if (item.bDir) {
    const std::string target = lastremoveslash(fullpath);
    const std::string base = lastaddslash(webpath);
    for (const auto& row : syncdb_->get_all(webpath)) {
      if (row.nStatus == SyncStatus::kRemovedOnServer ||
          row.nStatus == SyncStatus::kDeletedLocally || row.strWebPath.size() <= base.size() ||
          row.strWebPath.compare(0, base.size(), base) != 0) {
        continue;
      }
      // The rest of a stored path is appended to a local folder the user
      // chose: a path that would climb out of it is not written anywhere.
      const std::string relative = row.strWebPath.substr(base.size());
      if (!isSafeWebPath(relative)) {
        NBLOG_ERROR("library {}: save-as skips the unsafe path {}", nMountID_, row.strWebPath);
        continue;
      }
      ADD_Download(row, target + "/" + relative, false, 0);
    }
  }
  SendUpdateFileInfo(item, false);
  Network::shareNetwork()->SendCallbackAction(TransDirection::Download, "reget");
}

void SyncManager::InitTrans() {
  for (const auto& row : syncdb_->get_trans_files("")) {
    std::string local = getnormalpath(row.strWebPath);
    if (local.empty()) local = cachefolder_.getNormalPathByWebPath(row.strWebPath, row.strFileHash);
    if (row.nStatus == SyncStatus::kDownloadPending) {
      ADD_Download(row, local, true, 0);
    } else {
      Add_Upload(row, local, true, row.strWebPath);
    }
  }
  const auto network = Network::shareNetwork();
  network->SendCallbackAction(TransDirection::Download, "reget");
  network->SendCallbackAction(TransDirection::Upload, "reget");
}

}  // namespace nb
