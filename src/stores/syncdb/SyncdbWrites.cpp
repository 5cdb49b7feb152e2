// The sync store's writes of the file table SYNC.

#include "foundation/sqlite/FMResultSet.h"
#include "stores/common/SqlSubtree.h"
#include "stores/syncdb/Syncdb.h"

namespace nb {

namespace {

// The columns an upsert or whole-row update writes after the path, in the
// order of the statements below.
SqlArgs rowValues(const SyncFileItem& r) {
  return {r.nUpID,    r.bDir,         r.strFileHash,    r.strUuidHash, r.ullFileSize,
          r.ullWebLastTime, r.ullLastTime, r.nLastID, r.strLastName, r.ullCreatorTime,
          r.nLock,    r.nLockID,      r.nStatus,        r.strProperty};
}

// The path, then rowValues.
SqlArgs pathThenRow(const SyncFileItem& r) {
  SqlArgs args{r.strWebPath};
  for (auto& value : rowValues(r)) args.push_back(std::move(value));
  return args;
}

}  // namespace

int64_t Syncdb::add_new_file(const SyncFileItem& item) {
  if (item.strWebPath.empty()) return -1;
  int64_t id = -1;
  inDatabase([&](FMDatabase& db) {
    if (auto set = db.executeQuery("select id from SYNC where path = ?;", {item.strWebPath})) {
      if (set->next()) id = set->longForColumnIndex(0);
      set->close();
    }
    if (id != -1) {
      // The stored letter case of the path, the id and versiontime stay.
      SqlArgs args = rowValues(item);
      args.emplace_back(item.strWebPath);
      db.executeUpdateRetry(
          "update SYNC set upid=?,dir=?,filehash=?,uuidhash=?,filesize=?,weblasttime=?,"
          "lasttime=?,lastid=?,lastname=?,creatortime=?,lock=?,lockid=?,status=?,property=? "
          "where path=?;",
          args);
      return;
    }
    if (db.executeUpdateRetry(
            "insert into SYNC (path,upid,dir,filehash,uuidhash,filesize,weblasttime,lasttime,"
            "lastid,lastname,creatortime,lock,lockid,status,versiontime,property)values"
            "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,0,?);",
            pathThenRow(item))) {
      id = db.lastInsertRowId();
    }
  });
  return id;
}

void Syncdb::update_file(const SyncFileItem& item) {
  if (item.strWebPath.empty()) return;
  SqlArgs args = pathThenRow(item);
  args.emplace_back(item.strWebPath);
  write("update SYNC set path=?,upid=?,dir=?,filehash=?,uuidhash=?,filesize=?,weblasttime=?,"
        "lasttime=?,lastid=?,lastname=?,creatortime=?,lock=?,lockid=?,status=?,property=? "
        "where path=?;",
        args);
}

void Syncdb::update_filehashandfilesize(const std::string& path, const std::string& filehash,
                                        uint64_t filesize) {
  write("update SYNC set filehash=?,filesize=? where path=?;", {filehash, filesize, path});
}

void Syncdb::update_lasttime(const std::string& path, uint64_t lasttime) {
  write("update SYNC set lasttime=? where path=?;", {lasttime, path});
}

void Syncdb::update_weblasttime(const std::string& path, uint64_t weblasttime) {
  write("update SYNC set weblasttime=? where path=?;", {weblasttime, path});
}

void Syncdb::update_status(const std::string& path, int64_t status) {
  write("update SYNC set status=? where path=?;", {status, path});
}

void Syncdb::update_status_lasttime(const std::string& path, int64_t status, uint64_t lasttime) {
  write("update SYNC set status=?,lasttime=? where path=?;", {status, lasttime, path});
}

void Syncdb::update_status_versiontime(const std::string& path, int64_t status,
                                       uint64_t versiontime) {
  write("update SYNC set status=?,versiontime=? where path=?;", {status, versiontime, path});
}

void Syncdb::update_uuidhash(const std::string& path, const std::string& uuidhash) {
  write("update SYNC set uuidhash=? where path=?;", {uuidhash, path});
}

void Syncdb::update_lock(const std::string& path, int64_t status, int64_t userid) {
  write("update SYNC set lock=?,lockid=? where path=?;", {status, userid, path});
}

void Syncdb::update_filesizeandlast(const std::string& path, uint64_t filesize, uint64_t last) {
  write("update SYNC set filesize=?,lasttime=? where path=?;", {filesize, last, path});
}

void Syncdb::update_filesizeandlastandweblast(const std::string& path, uint64_t filesize,
                                              uint64_t last, int64_t memberid,
                                              const std::string& membername) {
  write("update SYNC set filesize=?,lasttime=?,weblasttime=?,lastid=?,lastname=? where path=?;",
        {filesize, last, last, memberid, membername, path});
}

void Syncdb::update_property(const std::string& path, const std::string& property) {
  write("update SYNC set property=? where path=?;", {property, path});
}

void Syncdb::updateVersionTimeByWebpath(const std::string& path, uint64_t versiontime) {
  write("update SYNC set versiontime=? where path=?;", {versiontime, path});
}

bool Syncdb::update_finish(const std::string& path, uint64_t lasttime) {
  return write("update SYNC set lasttime=?,status=? where path=?;",
               {lasttime, SyncStatus::kSynced, path});
}

bool Syncdb::update_finish(const std::string& path, uint64_t lasttime, uint64_t versiontime) {
  return write("update SYNC set lasttime=?,status=?,versiontime=? where path=?;",
               {lasttime, SyncStatus::kSynced, versiontime, path});
}

void Syncdb::update_lastname(int64_t lastid, const std::string& name) {
  write("update SYNC set lastname=? where lastid=?;", {name, lastid});
}

void Syncdb::updateErrorId(int64_t id, int64_t newid) {
  write("update SYNC set id=? where id=?;", {newid, id});
}

void Syncdb::updateErrorUpId(int64_t upid, int64_t newid) {
  write("update SYNC set upid=? where upid=?;", {newid, upid});
}

void Syncdb::update_lock_dir(const std::string& path, int64_t status, int64_t userid) {
  write(std::string("update SYNC set lock=?,lockid=? where path=? or ") + kSubtree + ";",
        {status, userid, path, subtreeFrom(path), subtreeTo(path)});
}

void Syncdb::update_status_deletebyparent(const std::string& dir) {
  write(std::string("update SYNC set status=? where ") + kSubtree + ";",
        {SyncStatus::kDeletedLocally, subtreeFrom(dir), subtreeTo(dir)});
}

void Syncdb::update_status_deletebyparentwheresync(const std::string& dir) {
  using namespace SyncStatus;
  write(std::string("update SYNC set status=? where ") + kSubtree +
            " and (+status=? or +status=? or +status=? or +status=?);",
        {kDeletedLocally, subtreeFrom(dir), subtreeTo(dir), kDownloadPending, kSynced, kServerOnly, kSettled});
}

void Syncdb::reset_del(const std::string& path) {
  using namespace SyncStatus;
  write("update SYNC set status=? where path=? and (status=? or status=?);",
        {kUploadPending, path, kRemovedOnServer, kDeletedLocally});
}

void Syncdb::reset_dir(const std::string& dir) {
  if (dir.empty()) {
    write("update SYNC set status = ?;", {SyncStatus::kResetMark});
  } else {
    write(std::string("update SYNC set status = ? where ") + kSubtree + ";",
          {SyncStatus::kResetMark, subtreeFrom(dir), subtreeTo(dir)});
  }
}

void Syncdb::delete_for_reset(const std::string& dir) {
  if (dir.empty()) {
    write("delete from SYNC where status=?;", {SyncStatus::kResetMark});
  } else {
    write(std::string("delete from SYNC where status=? and ") + kSubtree + ";",
          {SyncStatus::kResetMark, subtreeFrom(dir), subtreeTo(dir)});
  }
}

namespace {
// The rows a folder listing may mark and sweep.
constexpr const char* kMirrorStatuses = " and status in (2,3,4,5,9)";
}  // namespace

void Syncdb::reset_webpath(int64_t upid) {
  write(std::string("update SYNC set uuidhash = '' where upid=?") + kMirrorStatuses + ";", {upid});
}

void Syncdb::delete_reset_webpath(int64_t upid) {
  write(std::string("delete from SYNC where uuidhash = '' and upid=?") + kMirrorStatuses + ";",
        {upid});
}

void Syncdb::del_dir(const std::string& path) {
  write(std::string("delete from SYNC where path=? or ") + kSubtree + ";",
        {path, subtreeFrom(path), subtreeTo(path)});
}

void Syncdb::del_file(const std::string& path) {
  write("delete from SYNC where path=?;", {path});
}

bool Syncdb::move(const std::string& path, const std::string& newpath, int64_t upid) {
  return moveSubtree("update sync set path = ?,upid=?,versiontime=0 where path = ?;",
                     {newpath, upid, path},
                     "update sync set path = " + subtreeRenamed("path") +
                         ",versiontime=0 where " + kSubtree + ";",
                     {newpath, path, subtreeFrom(path), subtreeTo(path)});
}

bool Syncdb::rename(const std::string& path, const std::string& newpath) {
  return moveSubtree("update sync set path = ? where path = ?;", {newpath, path},
                     "update sync set path = " + subtreeRenamed("path") + " where " +
                         kSubtree + ";",
                     {newpath, path, subtreeFrom(path), subtreeTo(path)});
}

}  // namespace nb
