// The upload queue of the transfer store.

#include <optional>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"
#include "stores/transfer/TransPortDB.h"

namespace nb {

namespace {

struct QueuedUpload {
  std::int64_t id = 0;
  std::int64_t status = 0;
  std::uint64_t offset = 0;
  std::optional<std::string> filehash;
};

std::optional<QueuedUpload> findUpload(FMDatabase& db, const TransportItem& item) {
  auto rows = db.executeQuery(
      "select id, status, offset, filehash from Upload where mountid = ? and webpath = ? limit 1",
      {item.nMountid, item.strWebpath});
  if (!rows || !rows->next()) return std::nullopt;
  QueuedUpload row{rows->longForColumn("id"), rows->longForColumn("status"),
                   static_cast<std::uint64_t>(rows->longForColumn("offset")),
                   rows->stringForColumn("filehash")};
  rows->close();
  return row;
}

bool insertUpload(FMDatabase& db, const TransportItem& item, const std::string& parent) {
  return db.executeUpdateRetry(
      "insert into Upload(mountid, webpath, fullpath, filehash, filesize, dir, status, offset, "
      "last, actlast, expand, sync, errornum, errormsg, parentpath) "
      "values(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, '', ?)",
      {item.nMountid, item.strWebpath, item.strFullpath, item.strFilehash, item.ullFilesize,
       item.bDir, item.nStatus, item.ullOffset, item.ullLast, item.ullActlast, item.nExpand,
       item.bSync, parent});
}

bool fullUpdate(FMDatabase& db, std::int64_t id, const TransportItem& item, std::int64_t status,
                const std::string& parent) {
  return db.executeUpdateRetry(
      "update Upload set fullpath = ?, filehash = ?, filesize = ?, dir = ?, status = ?, "
      "offset = ?, last = ?, actlast = ?, expand = ?, sync = ?, errornum = 0, errormsg = '', "
      "parentpath = ? where id = ?",
      {item.strFullpath, item.strFilehash, item.ullFilesize, item.bDir, status, item.ullOffset,
       item.ullLast, item.ullActlast, item.nExpand, item.bSync, parent, id});
}

// A hash-only upload of content the row already names keeps the row's local
// side (path, hash, size, folder flag) and takes the caller's status even
// when the row was stopped.
bool partialUpdate(FMDatabase& db, std::int64_t id, const TransportItem& item,
                   const std::string& parent) {
  return db.executeUpdateRetry(
      "update Upload set status = ?, offset = ?, last = ?, actlast = ?, expand = ?, sync = ?, "
      "errornum = 0, errormsg = '', parentpath = ? where id = ?",
      {item.nStatus, item.ullOffset, item.ullLast, item.ullActlast, item.nExpand, item.bSync,
       parent, id});
}

}  // namespace

bool TransPortDB::Add_Upload(TransportItem& item, const std::string& parent) {
  bool ok = false;
  inDatabase([&](FMDatabase& db) {
    const auto row = findUpload(db, item);
    if (!row) {
      ok = insertUpload(db, item, parent);
      return;
    }
    const bool finished = row->status == kTransFinished;
    item.ullOffset = finished ? 0 : row->offset;
    if (finished) {
      ok = fullUpdate(db, row->id, item, item.nStatus, parent);
    } else if (item.nExpand == kUploadHashOnly && row->filehash == item.strFilehash) {
      ok = partialUpdate(db, row->id, item, parent);
    } else {
      const std::int64_t status = row->status == kTransStopped ? kTransStopped : item.nStatus;
      ok = fullUpdate(db, row->id, item, status, parent);
    }
  });
  return ok;
}

void TransPortDB::Update_UploadStart(std::int64_t id) { uploads_.start(id); }

void TransPortDB::Update_UploadStartActlast(std::int64_t id) { uploads_.startActlast(id); }

void TransPortDB::Update_UploadStatus(std::int64_t id, std::int64_t status) {
  uploads_.setStatus(id, status);
}

void TransPortDB::Update_UploadNormal(std::int64_t id, std::uint64_t offset) {
  // Unlike a download, an upload given back waits 10 s before it is offered.
  uploads_.normal(id, offset, transferNow() + 10);
}

void TransPortDB::Update_UploadStop(std::int64_t id, std::uint64_t offset) {
  uploads_.stop(id, offset);
}

void TransPortDB::Update_UploadOffset(std::int64_t id, std::uint64_t offset) {
  uploads_.setOffset(id, offset);
}

void TransPortDB::Update_UploadFinish(std::int64_t id) { uploads_.finish(id); }

void TransPortDB::Update_UploadActlast(std::int64_t id, std::int64_t status, std::uint64_t time) {
  uploads_.setActlast(id, status, time);
}

void TransPortDB::Update_UploadError(std::int64_t id, std::int64_t error,
                                     const std::string& msg) {
  uploads_.fail(id, error, msg);
}

void TransPortDB::Update_UploadFilesizeAndLast(std::int64_t id, std::uint64_t filesize,
                                               std::uint64_t last) {
  uploads_.updateById(id, "last = ?, filesize = ?", {last, filesize});
}

void TransPortDB::Update_UploadFilehashAndFilesize(std::int64_t id, const std::string& filehash,
                                                   std::uint64_t filesize) {
  uploads_.updateById(id, "filesize = ?, filehash = ?", {filesize, filehash});
}

void TransPortDB::Update_UploadReset(std::int64_t id, std::uint64_t filesize, std::uint64_t last) {
  uploads_.updateById(id, "filesize = ?, last = ?, status = 2", {filesize, last});
}

void TransPortDB::Delete_Upload(std::int64_t id) { uploads_.remove(id); }

void TransPortDB::Delete_UploadForPath(const std::string& fullpath) {
  uploads_.write("delete from", "where fullpath = ?", {fullpath});
}

void TransPortDB::Remove_Upload(std::int64_t mountid, const std::string& webpath) {
  uploads_.removeUnder(mountid, webpath);
}

void TransPortDB::DeleteUploadAll() { uploads_.deleteAll(); }

void TransPortDB::DeleteUploadAllFinish() { uploads_.deleteAllFinish(); }

std::vector<TransTaskItem> TransPortDB::Get_Uploads() { return uploads_.nextJobs(); }

std::vector<TransportItem> TransPortDB::Get_AllUpload(std::int64_t start, std::int64_t count) {
  return uploads_.page(start, count);
}

std::vector<TransportItem> TransPortDB::Get_AllUploadFinish(std::int64_t start,
                                                            std::int64_t count) {
  return uploads_.pageFinished(start, count);
}

TransportItem TransPortDB::Get_Upload(std::int64_t id) {
  return uploads_.item("where id = ?", {id});
}

TransportItem TransPortDB::Get_Upload(std::int64_t mountid, const std::string& webpath) {
  return uploads_.item("where mountid = ? and webpath = ?", {mountid, webpath});
}

std::vector<TransportItem> TransPortDB::Get_Uploads(std::int64_t mountid,
                                                    const std::string& webpath) {
  return uploads_.under(mountid, webpath);
}

std::vector<DeleteUploadAllItem> TransPortDB::Get_DeleteParentUpload() {
  std::vector<DeleteUploadAllItem> parents;
  inDatabase([&](FMDatabase& db) {
    auto rows = db.executeQuery(
        "select distinct parentpath, mountid from Upload where ifnull(sync, 0) <> 1");
    if (!rows) return;
    while (rows->next()) {
      DeleteUploadAllItem parent;
      parent.nMountid = rows->longForColumn("mountid");
      parent.strWebpath = rows->stringForColumn("parentpath").value_or("");
      parents.push_back(std::move(parent));
    }
    rows->close();
  });
  return parents;
}

bool TransPortDB::Check_Upload(std::int64_t mountid, const std::string& webpath, bool dir) {
  return uploads_.check(mountid, webpath, dir);
}

std::int64_t TransPortDB::GetUploadCount() { return uploads_.countUnfinished(false); }

void TransPortDB::StartUploadAll() { uploads_.startAll(); }

void TransPortDB::StopUploadAll() { uploads_.stopAll(); }

void TransPortDB::ResetUploadError() { uploads_.resetError(); }

}  // namespace nb
