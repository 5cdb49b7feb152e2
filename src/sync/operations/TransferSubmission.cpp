// The manager's side of queuing transfers: rows that must travel become
// waiting records of the transfer store.
#include "api/models/TransportItem.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/operations/Network.h"

namespace nb {
namespace {

// Upload kinds of a record (nExpand).
constexpr int64_t kExpandFromHash = 2;  // no local content: made from the hash
constexpr int64_t kExpandForced = 3;    // the server asked for the content again

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

void SyncManager::ADD_Download(const SyncFileItem& item, const std::string& fullpath, bool sync,
                               int64_t expand) {
  TransportItem record = waitingRecord(nMountID_, item, fullpath, sync);
  record.nExpand = expand;
  record.nStat = 1;
  TransPortDB::shareTransPortDB().Add_Download(record);
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
