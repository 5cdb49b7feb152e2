// The download queue of the transfer store.

#include <optional>

#include <fmt/format.h>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"
#include "stores/transfer/TransPortDB.h"

namespace nb {

namespace {

struct QueuedRow {
  std::int64_t id = 0;
  std::int64_t status = 0;
  std::uint64_t offset = 0;
};

std::optional<QueuedRow> findDownload(FMDatabase& db, const TransportItem& item) {
  auto rows = db.executeQuery(
      "select id, status, offset from Download "
      "where mountid = ? and webpath = ? and fullpath = ? limit 1",
      {item.nMountid, item.strWebpath, item.strFullpath});
  if (!rows || !rows->next()) return std::nullopt;
  QueuedRow row{rows->longForColumn("id"), rows->longForColumn("status"),
                static_cast<std::uint64_t>(rows->longForColumn("offset"))};
  rows->close();
  return row;
}

}  // namespace

void TransPortDB::Add_Download(TransportItem& item) {
  inDatabase([&](FMDatabase& db) {
    const auto row = findDownload(db, item);
    if (!row) {
      db.executeUpdateRetry(
          "insert into Download(mountid, webpath, fullpath, filehash, filesize, dir, status, "
          "offset, actlast, expand, sync, stat, errornum, errormsg) "
          "values(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, '')",
          {item.nMountid, item.strWebpath, item.strFullpath, item.strFilehash, item.ullFilesize,
           item.bDir, item.nStatus, item.ullOffset, item.ullActlast, item.nExpand, item.bSync,
           item.nStat});
      return;
    }
    // A finished row is queued afresh; any other keeps its progress, and a
    // stopped one stays stopped until the user starts it.
    item.ullOffset = row->status == kTransFinished ? 0 : row->offset;
    const std::int64_t status = row->status == kTransStopped ? kTransStopped : item.nStatus;
    db.executeUpdateRetry(
        "update Download set filehash = ?, filesize = ?, dir = ?, status = ?, offset = ?, "
        "actlast = ?, expand = ?, sync = ?, stat = ?, errornum = 0, errormsg = '' where id = ?",
        {item.strFilehash, item.ullFilesize, item.bDir, status, item.ullOffset, item.ullActlast,
         item.nExpand, item.bSync, item.nStat, row->id});
  });
}

void TransPortDB::Update_DownloadStart(std::int64_t id) { downloads_.start(id); }

void TransPortDB::Update_DownloadStartActlast(std::int64_t id) { downloads_.startActlast(id); }

void TransPortDB::Update_DownloadStatus(std::int64_t id, std::int64_t status) {
  downloads_.setStatus(id, status);
}

void TransPortDB::Update_DownloadNormal(std::int64_t id, std::uint64_t offset) {
  downloads_.normal(id, offset, 0);
}

void TransPortDB::Update_DownloadStop(std::int64_t id, std::uint64_t offset) {
  downloads_.stop(id, offset);
}

void TransPortDB::Update_DownloadOffset(std::int64_t id, std::uint64_t offset) {
  downloads_.setOffset(id, offset);
}

void TransPortDB::Update_DownloadFinish(std::int64_t id) { downloads_.finish(id); }

void TransPortDB::Update_DownloadActlast(std::int64_t id, std::int64_t status,
                                         std::uint64_t time) {
  downloads_.setActlast(id, status, time);
}

void TransPortDB::Update_DownloadStat(std::int64_t id, std::int64_t stat) {
  downloads_.updateById(id, "stat = ?", {stat});
}

void TransPortDB::Update_DownloadError(std::int64_t id, std::int64_t error,
                                       const std::string& msg) {
  downloads_.fail(id, error, msg);
}

void TransPortDB::Delete_Download(std::int64_t id) { downloads_.remove(id); }

void TransPortDB::Delete_Download(std::int64_t mountid, const std::string& webpath) {
  downloads_.write("delete from", "where mountid = ? and webpath = ? and status <> 4",
                   {mountid, webpath});
}

void TransPortDB::Remove_Download(std::int64_t mountid, const std::string& webpath) {
  downloads_.removeUnder(mountid, webpath);
}

void TransPortDB::DeleteDownloadAll() { downloads_.deleteAll(); }

void TransPortDB::DeleteDownloadAllFinish() { downloads_.deleteAllFinish(); }

std::vector<TransTaskItem> TransPortDB::Get_Downloads() { return downloads_.nextJobs(); }

std::vector<TransportItem> TransPortDB::Get_AllDownload(std::int64_t start, std::int64_t count) {
  return downloads_.page(start, count);
}

std::vector<TransportItem> TransPortDB::Get_AllDownloadFinish(std::int64_t start,
                                                              std::int64_t count) {
  return downloads_.pageFinished(start, count);
}

TransportItem TransPortDB::Get_Download(std::int64_t mountid, const std::string& webpath,
                                        const std::string& fullpath) {
  return downloads_.item("where mountid = ? and webpath = ? and fullpath = ?",
                         {mountid, webpath, fullpath});
}

TransportItem TransPortDB::Get_Download(std::int64_t mountid, const std::string& webpath) {
  auto found = downloads_.items("where mountid = ? and webpath = ?", {mountid, webpath});
  return found.empty() ? TransportItem{} : std::move(found.back());
}

std::vector<TransportItem> TransPortDB::Get_DownloadsByHash(const std::string& filehash) {
  return downloads_.items("where filehash = ? and status <> 4", {filehash});
}

bool TransPortDB::Check_Download(std::int64_t mountid, const std::string& webpath, bool dir) {
  return downloads_.check(mountid, webpath, dir);
}

std::string TransPortDB::Check_DownloadFinishByHash(const std::string& filehash) {
  const auto found = downloads_.item("where filehash = ? and status = 4", {filehash});
  return found.strFullpath;
}

std::int64_t TransPortDB::GetDownloadCount() { return downloads_.countUnfinished(true); }

std::int64_t TransPortDB::GetDownloadCountAll() { return downloads_.countUnfinished(false); }

void TransPortDB::StartDownloadAll() { downloads_.startAll(); }

void TransPortDB::StopDownloadAll() { downloads_.stopAll(); }

void TransPortDB::ResetDownloadError() { downloads_.resetError(); }

}  // namespace nb
