// The opened-file history of the transfer store, its start-up pass, and the
// explicit transaction of the whole connection.

#include <filesystem>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "stores/transfer/TransPortDB.h"

namespace nb {

namespace {

constexpr const char* kOpenColumns = "mountid, webpath, fullpath, filesize, last, uploadtime";

OpenTransportItem readOpenItem(FMResultSet& row) {
  OpenTransportItem item;
  item.nMountid = row.longForColumn("mountid");
  item.strWebpath = row.stringForColumn("webpath").value_or("");
  item.strFullpath = row.stringForColumn("fullpath").value_or("");
  item.ullFilesize = static_cast<std::uint64_t>(row.longForColumn("filesize"));
  item.ullLast = static_cast<std::uint64_t>(row.longForColumn("last"));
  item.ullUploadTime = static_cast<std::uint64_t>(row.longForColumn("uploadtime"));
  return item;
}

// The rows of "select ... from OPENHISTORY <rest>", in the order the query
// yields them.
std::vector<OpenTransportItem> openRows(MySqlite& store, const std::string& rest,
                                        const SqlArgs& args) {
  std::vector<OpenTransportItem> rows;
  store.inDatabase([&](FMDatabase& db) {
    auto result =
        db.executeQuery(std::string("select ") + kOpenColumns + " from OPENHISTORY " + rest, args);
    if (!result) return;
    while (result->next()) rows.push_back(readOpenItem(*result));
    result->close();
  });
  return rows;
}

OpenTransportItem lastOpenRow(MySqlite& store, const std::string& rest, const SqlArgs& args) {
  auto rows = openRows(store, rest, args);
  return rows.empty() ? OpenTransportItem{} : std::move(rows.back());
}

bool atOrUnderFolder(const std::string& path, const std::string& folder) {
  return !folder.empty() &&
         (path == folder || (path.starts_with(folder) && path.size() > folder.size() &&
                             path[folder.size()] == '/'));
}

// Secures every file below `folder` so that deleting the folder loses no
// edit: a file is cached, or, when the cache does not hold it afterwards
// (too large, unreadable, no cache yet), moved to the Trash. A file whose
// name begins with "." (an editor's lock or autosave file, a hidden note)
// goes to the Trash straight away: the cache would keep it under a hash
// nobody asks for. True when every file is either cached or in the Trash.
bool secureOpenedFiles(const std::string& folder, SyncCache& cache) {
  namespace fs = std::filesystem;
  bool secured = true;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    const std::string path = it->path().string();
    std::error_code kind;
    if (it->symlink_status(kind).type() == fs::file_type::directory) {
      secured = secureOpenedFiles(path, cache) && secured;
      continue;
    }
    if (!name.starts_with(".")) {
      const auto hash = Util::getfilehash(path);
      if (hash && cache.addCacheFileByPath(path, *hash)) continue;
    }
    if (!Util::deletefile2recyclebin(path)) {
      NBLOG_WARN("opened file {} could not be cached nor trashed; its folder stays", path);
      secured = false;
    }
  }
  return secured && !error;
}

}  // namespace

void TransPortDB::setSession(UserData& user, SyncCache& cache) {
  user_ = &user;
  cache_ = &cache;
}

void TransPortDB::AddOpenHistory(const OpenTransportItem& item) {
  inDatabase([&](FMDatabase& db) {
    const SqlArgs values{item.ullFilesize, item.ullLast, item.ullUploadTime, item.strFullpath};
    auto rows = db.executeQuery("select 1 from OPENHISTORY where fullpath = ? limit 1",
                                {item.strFullpath});
    const bool known = rows && rows->next();
    if (rows) rows->close();
    if (known) {
      db.executeUpdateRetry(
          "update OPENHISTORY set filesize = ?, last = ?, uploadtime = ? where fullpath = ?",
          values);
      return;
    }
    db.executeUpdateRetry(
        "insert into OPENHISTORY(mountid, webpath, fullpath, filesize, last, uploadtime) "
        "values(?, ?, ?, ?, ?, ?)",
        {item.nMountid, item.strWebpath, item.strFullpath, item.ullFilesize, item.ullLast,
         item.ullUploadTime});
  });
}

void TransPortDB::UpdateOpenHistory(const std::string& fullpath, std::uint64_t filesize,
                                    std::uint64_t last, std::uint64_t uploadtime) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry(
        "update OPENHISTORY set filesize = ?, last = ?, uploadtime = ? where fullpath = ?",
        {filesize, last, uploadtime, fullpath});
  });
}

void TransPortDB::updateOpenUploadFinish(const std::string& fullpath) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry("update OPENHISTORY set uploadtime = last where fullpath = ?",
                          {fullpath});
  });
}

OpenTransportItem TransPortDB::CheckOpenHistory(const std::string& fullpath) {
  return lastOpenRow(*this, "where fullpath = ? and last <> 0", {fullpath});
}

OpenTransportItem TransPortDB::CheckNeedLock(const std::string& fullpath) {
  return lastOpenRow(*this, "where fullpath = ?", {fullpath});
}

void TransPortDB::DeleteOpenHistory(std::int64_t /*mountid*/, const std::string& /*webpath*/,
                                    const std::string& fullpath) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry("delete from OPENHISTORY where fullpath = ?", {fullpath});
  });
}

std::vector<OpenTransportItem> TransPortDB::allOpenHistory() { return openRows(*this, "", {}); }

void TransPortDB::ClearOpen() {
  const auto rows = allOpenHistory();
  if (rows.empty()) {
    clearOpenedFolder();
    return;
  }
  for (const auto& row : rows) clearOpenRow(row);
}

void TransPortDB::clearOpenedFolder() {
  UserData* user = user_.load();
  SyncCache* cache = cache_.load();
  if (user == nullptr) user = &UserData::shareUserData();
  if (cache == nullptr) cache = &SyncCache::shareSyncCache();
  const std::string folder = user->openPath();
  if (folder.find(".veskoopen") == std::string::npos || !Util::existfile(folder)) return;
  if (secureOpenedFiles(folder, *cache)) Util::deletefolder(folder, false);
}

void TransPortDB::clearOpenRow(const OpenTransportItem& row) {
  UserData* user = user_.load();
  if (user == nullptr) user = &UserData::shareUserData();
  if (atOrUnderFolder(row.strFullpath, user->tempPath())) {
    DeleteOpenHistory(row.nMountid, row.strWebpath, row.strFullpath);
    Delete_UploadForPath(row.strFullpath);
    return;
  }
  const TransportItem download = Get_Download(row.nMountid, row.strWebpath, row.strFullpath);
  if (download.nIndex != 0 && download.nStatus != kTransFinished) return;  // still arriving
  if (!Util::existfile(row.strFullpath)) {
    DeleteOpenHistory(row.nMountid, row.strWebpath, row.strFullpath);
    return;
  }
  if (row.ullUploadTime == 0) return;  // never matched the server
  const std::uint64_t time = Util::filemodifytime(row.strFullpath);
  const std::uint64_t size = Util::filesize(row.strFullpath);
  if (row.ullLast == time && row.ullFilesize == size && row.ullUploadTime == row.ullLast) return;

  // Edited while the client was not running: send it again.
  TransportItem upload;
  upload.nMountid = row.nMountid;
  upload.strWebpath = row.strWebpath;
  upload.strFullpath = row.strFullpath;
  upload.nStatus = kTransWaiting;
  upload.ullFilesize = size;
  upload.ullLast = time;
  upload.nExpand = kUploadReopened;
  NBLOG_DEBUG("{},{},{},{},{},{},{}", row.strWebpath, row.ullLast, time, row.ullFilesize, size,
              row.ullUploadTime, row.ullLast);
  UpdateOpenHistory(row.strFullpath, size, time, row.ullUploadTime);
  Add_Upload(upload, upload.strWebpath);
}

bool TransPortDB::TransactionBegin() {
  bool began = false;
  inDatabase([&](FMDatabase& db) { began = db.beginDeferredTransaction(); });
  return began;
}

void TransPortDB::TransactionEnd() {
  inDatabase([](FMDatabase& db) {
    // A transaction left open would swallow every later statement of the
    // store until the process ends.
    if (!db.commit() && db.inTransaction()) db.rollback();
  });
}

}  // namespace nb
