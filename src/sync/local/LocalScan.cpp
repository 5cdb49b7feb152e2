#include "sync/local/LocalScan.h"

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/local/LocalSteps.h"
#include "sync/local/ReadOnlyConflict.h"
#include "sync/local/ScanPause.h"

namespace nb {
namespace {

bool found(const SyncFileItem& row) { return row.nStatus != SyncStatus::kNotFound; }

}  // namespace

void LocalScan::scandir(const std::string& dir) {
  const std::string d = lastaddslash(dir);
  const std::string webdir = manager_.getrelativepath(lastremoveslash(d));
  const int64_t linkType = manager_.linkfolder().linkTypeByWebPath(webdir);
  const auto names = Util::entryNames(d);
  size_t nextPause = 1;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i / kEntriesPerPause == nextPause) {
      ScanPause::pause();
      ++nextPause;
    }
    if (manager_.bOut()) return;
    std::optional<std::string> enter;
    {
      local::ControlHold hold(manager_);
      enter = scanEntry(d + names[i], linkType);
    }
    if (enter) {
      ScanPause::pause();
      scandir(*enter);
    }
  }
  local::tellFolder(manager_, webdir);
}

std::optional<std::string> LocalScan::scanEntry(const std::string& entry, int64_t linkType) {
  if (local::ignoredLocal(manager_, entry)) return std::nullopt;
  const std::string full = local::fixSpaces(entry);
  const std::string w = manager_.getrelativepath(full);
  if (w.empty()) return std::nullopt;
  SyncFileItem r = manager_.syncdb().get_single_file(w);
  const bool dir = Util::isdir(full);
  const uint64_t t = Util::filemodifytime(full);
  if (linkType == LinkType::kSync && !manager_.getFilePropertyForWrite(w)) {
    if (found(r) && r.nStatus != SyncStatus::kDownloadPending && !dir &&
        (r.ullFileSize != Util::filesize(full) || r.ullLastTime != t)) {
      local::readOnlyConflictCopy(manager_, full, r);
    }
    if (!manager_.getFilePropertyForUpload(w)) return std::nullopt;
  }
  if (dir) {
    if (local::leadsToAncestor(full)) {
      NBLOG_WARN("{} links back to a folder above it; not walked", full);
      return std::nullopt;
    }
    return scanFolder(full, w, r, t) ? std::optional<std::string>(full) : std::nullopt;
  }
  if (Util::checklinkdir(full)) return std::nullopt;
  scanFile(full, w, r, t);
  return std::nullopt;
}

bool LocalScan::scanFolder(const std::string& full, const std::string& webpath, SyncFileItem& row,
                           uint64_t lasttime) {
  if (!found(row)) {
    addRow(full, webpath, true, 0, lasttime);
    return true;
  }
  local::repairParent(manager_, row);
  const bool deleted = row.nStatus == SyncStatus::kRemovedOnServer ||
                       row.nStatus == SyncStatus::kDeletedLocally;
  if (row.ullLastTime == lasttime) {
    if (row.nStatus == SyncStatus::kRemovedOnServer) return false;
    if (row.nStatus == SyncStatus::kDeletedLocally) readd(full, row, lasttime);
    return true;
  }
  if (deleted) {
    readd(full, row, lasttime);
  } else {
    manager_.syncdb().update_lasttime(row.strWebPath, lasttime);
  }
  return true;
}

void LocalScan::scanFile(const std::string& full, const std::string& webpath, SyncFileItem& row,
                         uint64_t lasttime) {
  const uint64_t size = Util::filesize(full);
  if (!found(row)) {
    addRow(full, webpath, false, size, lasttime);
    return;
  }
  local::repairParent(manager_, row);
  switch (row.nStatus) {
    case SyncStatus::kSynced:
      manager_.compare_file(full, row, false, true);
      if (row.nStatus == SyncStatus::kDownloadPending) local::queueDownload(manager_, row, full);
      if (row.nStatus == SyncStatus::kUploadPending) local::queueUpload(manager_, row, full);
      return;
    case SyncStatus::kRemovedOnServer:
      if (size == row.ullFileSize && lasttime == row.ullLastTime) return;
      [[fallthrough]];
    case SyncStatus::kDeletedLocally:
      row.ullFileSize = size;
      row.ullLastTime = lasttime;
      row.strFileHash.clear();
      row.nStatus = SyncStatus::kUploadPending;
      manager_.syncdb().update_file(row);
      local::queueUpload(manager_, row, full);
      return;
    default:
      if (lasttime != row.ullLastTime) rehashFile(full, row, size, lasttime);
  }
}

void LocalScan::rehashFile(const std::string& full, SyncFileItem& row, uint64_t size,
                           uint64_t lasttime) {
  const auto hash = Util::getfilehash(full);
  if (hash && *hash == row.strFileHash) {
    Util::setfilecreatetime(full, row.ullCreatorTime);
    Util::setfilemodifytime(full, row.ullLastTime);
    row.ullLastTime = Util::filemodifytime(full);
    row.ullFileSize = size;
    row.nStatus = SyncStatus::kSynced;
    manager_.syncdb().update_file(row);
    manager_.syncdb().updateVersionTimeByWebpath(row.strWebPath, manager_.ullCompareTime);
    return;
  }
  row.ullFileSize = size;
  row.ullLastTime = lasttime;
  row.strFileHash = hash.value_or("");
  row.nStatus = SyncStatus::kUploadPending;
  manager_.syncdb().update_file(row);
  local::queueUpload(manager_, row, full);
}

void LocalScan::addRow(const std::string& full, const std::string& webpath, bool dir,
                       uint64_t size, uint64_t lasttime) {
  SyncFileItem row = local::newLocalRow(webpath, full, dir, size, lasttime);
  row.nUpID = manager_.getFileUpID(webpath);
  if (row.nUpID == -1) NBLOG_ERROR("getFileUpID error {}", webpath);
  row.nID = manager_.syncdb().add_new_file(row);
  local::queueUpload(manager_, row, full);
}

void LocalScan::readd(const std::string& full, SyncFileItem& row, uint64_t lasttime) {
  const SyncFileItem fresh = local::newLocalRow(row.strWebPath, full, true, 0, lasttime);
  row.ullLastTime = fresh.ullLastTime;
  row.ullWebLastTime = fresh.ullWebLastTime;
  row.strLastName = fresh.strLastName;
  row.nLastID = fresh.nLastID;
  row.ullCreatorTime = fresh.ullCreatorTime;
  row.nStatus = SyncStatus::kUploadPending;
  row.bDir = true;
  manager_.syncdb().update_file(row);
  local::queueUpload(manager_, row, full);
}

}  // namespace nb
