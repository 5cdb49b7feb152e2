// The sync store's reads of the file table SYNC.

#include <fmt/format.h>

#include <regex>

#include "foundation/sqlite/FMResultSet.h"
#include "platform/Log.h"
#include "stores/common/SqlSubtree.h"
#include "stores/syncdb/Syncdb.h"

namespace nb {

namespace {

using namespace SyncStatus;

std::string withSubtree(std::string_view head, std::string_view tail = "") {
  return fmt::format("{}{}{};", head, kSubtree, tail);
}

// The order clause goes into the statement text, so only the forms that
// get_sort_string makes are let through.
bool isSortClause(const std::string& sort) {
  static const std::regex kForm(
      "order by dir (asc|desc),(path collate pinyin(asc|desc)|(filesize|weblasttime) "
      "(asc|desc),path collate pinyinasc)( limit [0-9]+,[0-9]+)?");
  return sort.empty() || std::regex_match(sort, kForm);
}

std::string byTimeLimit(int64_t start, int64_t count) {
  if (start != 0 && count != 0) return fmt::format("limit {},{}", start, count);
  if (start != 0) return fmt::format("limit {},1", start);
  if (count != 0) return fmt::format("limit {}", count);
  return {};
}

}  // namespace

int64_t Syncdb::getID(const std::string& path) {
  int64_t id = -1;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery("select id from SYNC where path = ?;", {path});
    if (set && set->next()) id = set->longForColumnIndex(0);
    if (set) set->close();
  });
  return id;
}

SyncFileItem Syncdb::get_single_file(const std::string& path) {
  return lookup("select * from SYNC where path = ?;", {path});
}

SyncFileItem Syncdb::getFileInfoById(int64_t id) {
  return lookup("select * from SYNC where id = ?;", {id});
}

SyncFileItem Syncdb::get_uuidhash_file(const std::string& uuidhash) {
  return lookup("select * from SYNC where uuidhash = ?;", {uuidhash});
}

SyncFileItem Syncdb::get_error_sub(const std::string& dir) {
  return lookup(withSubtree("select * from SYNC where ", " order by path asc limit 1"),
                {subtreeFrom(dir), subtreeTo(dir)});
}

std::string Syncdb::get_synced_hash(const std::string& filehash) {
  std::string path;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery("select path from SYNC where filehash=? and status=? limit 1;",
                               {filehash, kSynced});
    if (set && set->next()) path = set->stringForColumnIndex(0).value_or("");
    if (set) set->close();
  });
  return path;
}

uint64_t Syncdb::getVersionTimeByWebpath(const std::string& path) {
  return static_cast<uint64_t>(count("select versiontime from SYNC where path=?;", {path}));
}

bool Syncdb::is_upload_by_path(const std::string& dir) {
  return count(withSubtree("select count(*) from SYNC where ", " and (+status=? or +status=?)"),
               {subtreeFrom(dir), subtreeTo(dir), kUploadPending, kReupload}) > 0;
}

int64_t Syncdb::checkHaveFileInfo() {
  return count("select count(*) as 'ncount' from SYNC where upid=0;", {});
}

std::vector<SyncFileItem> Syncdb::get_all(const std::string& path) {
  return list(withSubtree("select * from SYNC where (path=? or ",
                          ") and status!=? and status!=? order by dir desc"),
              {path, subtreeFrom(path), subtreeTo(path), kRemovedOnServer, kDeletedLocally});
}

std::vector<SyncFileItem> Syncdb::get_all_dirformarkdelete(int64_t upid) {
  return list("select * from SYNC where upid = ? and dir=1 and status!=? and status!=? and "
              "status!=? and status!=?;",
              {upid, kServerOnly, kSettled, kRemovedOnServer, kDeletedLocally});
}

std::vector<SyncFileItem> Syncdb::get_all_filesformarkdelete(int64_t upid) {
  return list("select * from SYNC where upid = ? and dir=0 and status!=? and status!=? and "
              "status!=? and status!=?;",
              {upid, kServerOnly, kSettled, kRemovedOnServer, kDeletedLocally});
}

std::vector<SyncFileItem> Syncdb::get_all_fileanddir(int64_t upid, const std::string& sort) {
  if (!isSortClause(sort)) {
    NBLOG_ERROR("Syncdb refuses order clause {}", sort);
    return {};
  }
  return list(fmt::format("select * from SYNC where upid = ? and status!=? and status!=? {};",
                          sort),
              {upid, kRemovedOnServer, kDeletedLocally});
}

std::vector<SyncFileItem> Syncdb::get_all_dir(int64_t upid, const std::string& sort) {
  if (!isSortClause(sort)) {
    NBLOG_ERROR("Syncdb refuses order clause {}", sort);
    return {};
  }
  return list(fmt::format("select * from SYNC where upid = ? and dir=1 and status!=? and "
                          "status!=? {};",
                          sort),
              {upid, kRemovedOnServer, kDeletedLocally});
}

std::vector<SyncFileItem> Syncdb::get_all_bytime(int64_t start, int64_t count) {
  return list(fmt::format("select * from SYNC where dir = 0 and status!=? and status!=? order "
                          "by weblasttime desc {};",
                          byTimeLimit(start, count)),
              {kRemovedOnServer, kDeletedLocally});
}

std::string Syncdb::get_sort_string(uint64_t start, uint64_t count, std::string_view sort,
                                    std::string_view sorttype) {
  const bool desc = sorttype == "desc";
  const std::string_view dir = desc ? "order by dir asc," : "order by dir desc,";
  std::string clause;
  if (sort == "filesize" || sort == "last_edit_time") {
    clause = fmt::format("{}{} {},path collate pinyinasc", dir,
                         sort == "filesize" ? "filesize" : "weblasttime", desc ? "desc" : "asc");
  } else {
    clause = fmt::format("{}path collate {}", dir, desc ? "pinyindesc" : "pinyinasc");
  }
  if (count != 0) clause += fmt::format(" limit {},{}", start, count);
  return clause;
}

std::vector<SyncFileItem> Syncdb::get_all_deleted_file() {
  return list("select * from SYNC where (status=? or status=?) and dir=0 order by path asc;",
              {kRemovedOnServer, kDeletedLocally});
}

std::vector<SyncFileItem> Syncdb::get_all_deleted_dir() {
  std::vector<SyncFileItem> items;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery(
        "select * from SYNC where (status=? or status=?) and dir=1 order by path asc;",
        {kRemovedOnServer, kDeletedLocally});
    while (set && set->next()) {
      SyncFileItem item = getSyncFileItemByFMResultSet(*set);
      bool parentMarked = false;
      auto parent = db.executeQuery("select status from SYNC where id = ?;", {item.nUpID});
      if (parent && parent->next()) {
        const int64_t status = parent->longForColumnIndex(0);
        parentMarked = status == kRemovedOnServer || status == kDeletedLocally;
      }
      if (parent) parent->close();
      if (!parentMarked) items.push_back(std::move(item));
    }
  });
  return items;
}

std::vector<SyncFileItem> Syncdb::get_trans_files(const std::string& path) {
  if (path.empty()) {
    return list("select * from SYNC where status=? or status=? or status=?;",
                {kDownloadPending, kUploadPending, kReupload});
  }
  return list(withSubtree("select * from SYNC where (path =? or ",
                          ") and (+status=? or +status=? or +status=?)"),
              {path, subtreeFrom(path), subtreeTo(path), kDownloadPending, kUploadPending, kReupload});
}

std::vector<SyncFileItem> Syncdb::get_all_upload_by_path(int64_t) {
  // Its caller removes the local copy of every row listed here, also of rows
  // that still wait for upload; the empty list keeps them all.
  return {};
}

int64_t Syncdb::getsyncstatuscount(const std::string& path) {
  if (path.empty()) {
    return count("select count(*) from SYNC where status!=? and status!=? and status!=?;",
                 {kSynced, kSettled, kServerOnly});
  }
  return count(withSubtree("select count(*) from SYNC where (status!=? and status!=? and "
                           "status!=?) and (path=? or ",
                           ")"),
               {kSynced, kSettled, kServerOnly, path, subtreeFrom(path), subtreeTo(path)});
}

int64_t Syncdb::getFileCount(int64_t upid) {
  return count("select count(*) from SYNC where status!=? and status!=? and upid=? and dir=0;",
               {kRemovedOnServer, kDeletedLocally, upid});
}

int64_t Syncdb::getFolderCount(int64_t upid) {
  return count("select count(*) from SYNC where status!=? and status!=? and upid=? and dir=1;",
               {kRemovedOnServer, kDeletedLocally, upid});
}

namespace {

// count(*) or sum(filesize) over the files (dir 0) or folders (dir 1) of the
// subtree of `path`, or of the whole library when it is empty.
std::pair<std::string, SqlArgs> aggregate(std::string_view what, int dir,
                                          const std::string& path) {
  if (path.empty()) {
    return {fmt::format("select {} from SYNC where status!=? and status!=? and dir={};", what,
                        dir),
            {kRemovedOnServer, kDeletedLocally}};
  }
  return {fmt::format("select {} from SYNC where status!=? and status!=? and {} and +dir={};",
                      what, kSubtree, dir),
          {kRemovedOnServer, kDeletedLocally, subtreeFrom(path), subtreeTo(path)}};
}

}  // namespace

int64_t Syncdb::getFileAllCount(const std::string& path) {
  const auto [sql, args] = aggregate("count(*)", 0, path);
  return count(sql, args);
}

uint64_t Syncdb::getFileAllSize(const std::string& path) {
  const auto [sql, args] = aggregate("sum(filesize)", 0, path);
  return static_cast<uint64_t>(count(sql, args));
}

int64_t Syncdb::getFolderAllCount(const std::string& path) {
  const auto [sql, args] = aggregate("count(*)", 1, path);
  return count(sql, args);
}

}  // namespace nb
