// Per-path transfer information and bulk path changes of the transfer store.

#include <fmt/format.h>

#include "foundation/sqlite/FMDatabase.h"
#include "stores/transfer/TransPortDB.h"

namespace nb {

namespace {

// Deletes the rows of one table of the library at or under `webpath` ("" is
// the whole library), optionally only the unfinished ones.
void removeUnder(FMDatabase& db, const char* table, std::int64_t mountid,
                 const std::string& webpath, bool unfinishedOnly) {
  SqlArgs args{mountid};
  std::string sql = fmt::format("delete from {} where mountid = ?", table);
  if (unfinishedOnly) sql += " and status <> 4";
  if (!webpath.empty()) {
    sql += " and " + atOrSubtreeOf("webpath");
    appendAtOrSubtreeArgs(args, webpath);
  }
  db.executeUpdateRetry(sql, args);
}

void removeWebpath(MySqlite& store, std::int64_t mountid, const std::string& webpath,
                   bool unfinishedOnly) {
  store.inDatabase([&](FMDatabase& db) {
    removeUnder(db, kUploadTable.name, mountid, webpath, unfinishedOnly);
    removeUnder(db, kDownloadTable.name, mountid, webpath, unfinishedOnly);
  });
}

// The web path (or, with `full`, also the full path) of the rows of `table`
// exactly at O becomes N; the rows strictly under O get the prefix rename.
struct PathMove {
  const std::string& from;
  const std::string& to;
};

void renameWebpaths(FMDatabase& db, const char* table, std::int64_t mountid, PathMove web,
                    const PathMove* full) {
  // A download saved outside the old local folder (a download to open, say)
  // keeps its full path: only full paths at or under the old one move.
  std::string fullAt;
  std::string fullUnder;
  SqlArgs fullAtArgs;
  SqlArgs fullUnderArgs;
  if (full != nullptr) {
    fullAt = ", fullpath = case when fullpath = ? then ? else fullpath end";
    fullAtArgs = {full->from, full->to};
    fullUnder = fmt::format(", fullpath = case when {} then {} else fullpath end",
                            subtreeOf("fullpath"), subtreeRenamed("fullpath"));
    appendSubtreeArgs(fullUnderArgs, full->from);
    fullUnderArgs.insert(fullUnderArgs.end(), {full->to, full->from});
  }

  SqlArgs at{web.to};
  at.insert(at.end(), fullAtArgs.begin(), fullAtArgs.end());
  at.insert(at.end(), {mountid, web.from});
  db.executeUpdateRetry(
      fmt::format("update {} set webpath = ?{} where mountid = ? and webpath = ?", table, fullAt),
      at);

  SqlArgs under{web.to, web.from};
  under.insert(under.end(), fullUnderArgs.begin(), fullUnderArgs.end());
  under.push_back(mountid);
  appendSubtreeArgs(under, web.from);
  db.executeUpdateRetry(fmt::format("update {} set webpath = {}{} where mountid = ? and {}", table,
                                    subtreeRenamed("webpath"), fullUnder,
                                    subtreeOf("webpath")),
                        under);
}

}  // namespace

TransportItem TransPortDB::GetTransInfo(const std::string& webpath, std::int64_t mountid) {
  TransportItem upload = Get_Upload(mountid, webpath);
  if (upload.nIndex != 0) return upload;
  return Get_Download(mountid, webpath);
}

void TransPortDB::RemoveMountid(std::int64_t mountid) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry("delete from Download where mountid = ?", {mountid});
    db.executeUpdateRetry("delete from Upload where mountid = ?", {mountid});
  });
}

void TransPortDB::RemoveWebpath(std::int64_t mountid, const std::string& webpath) {
  removeWebpath(*this, mountid, webpath, false);
}

void TransPortDB::RemoveWebpathUnFinish(std::int64_t mountid, const std::string& webpath) {
  removeWebpath(*this, mountid, webpath, true);
}

void TransPortDB::CopyTrans(const std::vector<MoveItem>& items, std::int64_t mountid,
                            std::int64_t newmountid) {
  for (const auto& move : items) {
    for (const auto& source : Get_Uploads(mountid, move.frompath)) {
      TransportItem copy;
      copy.nMountid = newmountid;
      // The record lies at or under frompath, so its web path begins with
      // frompath's characters (ASCII case aside: the same byte count).
      copy.strWebpath = source.strWebpath == move.frompath
                            ? move.topath
                            : move.topath + source.strWebpath.substr(move.frompath.size());
      copy.strFullpath = source.strFullpath;
      copy.strFilehash = source.strFilehash;
      copy.ullFilesize = source.ullFilesize;
      copy.bDir = source.bDir;
      copy.nExpand = source.nExpand;
      copy.nStatus = kTransWaiting;
      Add_Upload(copy, move.topath);
    }
  }
}

void TransPortDB::RenameTrans(std::int64_t mountid, const std::string& oldwebpath,
                              const std::string& newwebpath, const std::string& oldfullpath,
                              const std::string& newfullpath) {
  const PathMove web{oldwebpath, newwebpath};
  const PathMove full{oldfullpath, newfullpath};
  const bool moveFull = !oldfullpath.empty() && !newfullpath.empty();
  inDatabase([&](FMDatabase& db) {
    renameWebpaths(db, kUploadTable.name, mountid, web, nullptr);
    renameWebpaths(db, kDownloadTable.name, mountid, web, moveFull ? &full : nullptr);
    renameWebpaths(db, "OPENHISTORY", mountid, web, nullptr);
  });
}

void TransPortDB::RenameTrans(std::int64_t mountid, const std::string& oldfullpath,
                              const std::string& newfullpath) {
  uploads_.write("update", "set fullpath = ? where mountid = ? and fullpath = ?",
                 {newfullpath, mountid, oldfullpath});
}

}  // namespace nb
