#include "sync/local/LocalScan.h"

#include <sys/stat.h>

#include <unordered_map>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilNames.h"
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

// The rows of the folder's children by web path, read in one query. Only
// what they say of files in sync is used, and only to leave such a file
// alone; everything else is decided on the row as it is at its entry.
LocalScan::KnownRows LocalScan::childRows(const std::string& webdir) {
  KnownRows rows;
  Syncdb& store = manager_.syncdb();
  // The whole library's top-level rows name parent 0.
  const int64_t id = webdir.empty() ? 0 : store.getID(webdir);
  if (id == -1) return rows;
  for (auto& row : store.get_all_fileanddir(id, "")) {
    if (row.bDir || row.nStatus != SyncStatus::kSynced || row.strFileHash.empty()) continue;
    std::string path = row.strWebPath;
    rows.emplace(std::move(path), std::move(row));
  }
  return rows;
}

// A plain file whose size and modification time are its in-sync row's:
// the walk would read its row, find it unchanged and write nothing. One
// lstat and a look-up answer that without the row read, the permission
// checks and controllock, which is what keeps a rescan of a large
// unchanged library cheap. Names the walk would rename go the long way.
bool LocalScan::unchangedFile(const std::string& entry, const KnownRows& known) const {
  if (known.empty() || Util::findspace(entry)) return false;
  struct stat st {};
  if (::lstat(entry.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const auto it = known.find(manager_.getrelativepath(entry));
  if (it == known.end()) return false;
  const SyncFileItem& row = it->second;
  const uint64_t mtime = st.st_mtim.tv_sec > 0 ? static_cast<uint64_t>(st.st_mtim.tv_sec) : 0;
  return row.ullFileSize == static_cast<uint64_t>(st.st_size) && row.ullLastTime == mtime;
}

void LocalScan::scandir(const std::string& dir) {
  const std::string d = lastaddslash(dir);
  const std::string webdir = manager_.getrelativepath(lastremoveslash(d));
  const int64_t linkType = manager_.linkfolder().linkTypeByWebPath(webdir);
  const auto names = Util::entryNames(d);
  const KnownRows known = childRows(webdir);
  size_t nextPause = 1;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i / kEntriesPerPause == nextPause) {
      ScanPause::pause();
      ++nextPause;
    }
    if (manager_.bOut()) return;
    if (unchangedFile(d + names[i], known)) continue;
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
