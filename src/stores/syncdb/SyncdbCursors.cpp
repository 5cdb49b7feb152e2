// The sync store's change-feed cursors (VERSION) and re-sync queue
// (SYNCEDNOW).

#include "foundation/sqlite/FMResultSet.h"
#include "stores/syncdb/Syncdb.h"

namespace nb {

namespace {

bool hasRow(FMDatabase& db, std::string_view sql, const SqlArgs& args) {
  auto set = db.executeQuery(sql, args);
  const bool found = set && set->next();
  if (set) set->close();
  return found;
}

// Inserts the cursor row only when the path has none; plain update, as the
// schema work does.
void insertCursor(Syncdb& store, const std::string& path, uint64_t dateline, bool compareinit) {
  store.inDatabase([&](FMDatabase& db) {
    if (hasRow(db, "select * from VERSION where path = ?;", {path})) return;
    db.executeUpdate(
        "insert into VERSION(path,dateline,compareindex,compareinit) values(?,?,0,?);",
        {path, dateline, compareinit});
  });
}

}  // namespace

void Syncdb::insert_total_version(const std::string& path) { insertCursor(*this, path, 0, true); }

void Syncdb::insert_total_version(const std::string& path, uint64_t dateline) {
  insertCursor(*this, path, dateline, false);
}

bool Syncdb::update_total_version(const SyncVersion& version) {
  return write("update VERSION set dateline=?,compareindex=? where path=?;",
               {version.ullDateline, version.ullIndex, version.strWebPath});
}

namespace {

SyncVersion readVersion(FMResultSet& set) {
  SyncVersion version;
  version.ullDateline = static_cast<uint64_t>(set.longForColumn("dateline"));
  version.ullIndex = static_cast<uint64_t>(set.longForColumn("compareindex"));
  version.strWebPath = set.stringForColumn("path").value_or("");
  version.bCompareInit = set.longForColumn("compareinit") != 0;
  return version;
}

}  // namespace

SyncVersion Syncdb::get_total_version(const std::string& path) {
  SyncVersion version;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery("select * from VERSION where path = ?;", {path});
    if (set && set->next()) version = readVersion(*set);
    if (set) set->close();
  });
  return version;
}

std::vector<SyncVersion> Syncdb::get_all_version() {
  std::vector<SyncVersion> versions;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery("select * from VERSION;");
    while (set && set->next()) versions.push_back(readVersion(*set));
  });
  return versions;
}

void Syncdb::update_total_compareinit(const std::string& path, int64_t compareinit) {
  write("update VERSION set compareinit=? where path=?;", {compareinit, path});
}

void Syncdb::inset_sync_now(const std::string& path, bool dir, bool overwrite) {
  inset_sync_now(path, dir, 0, 0, overwrite);
}

void Syncdb::inset_sync_now(const std::string& path, bool dir, uint64_t dateline, int64_t type,
                            bool overwrite) {
  inDatabase([&](FMDatabase& db) {
    if (hasRow(db, "select * from SYNCEDNOW where path = ?;", {path})) {
      // The stored folder flag stays.
      db.executeUpdateRetry(
          "update SYNCEDNOW set dateline=?,type=?,overwrite=? where path=?;",
          {dateline, type, overwrite, path});
      return;
    }
    db.executeUpdateRetry(
        "insert into SYNCEDNOW(path,dir,dateline,type,overwrite) values(?,?,?,?,?);",
        {path, dir, dateline, type, overwrite});
  });
}

void Syncdb::update_sync_nowtype(const std::string& path, bool dir) {
  write("update SYNCEDNOW set type=1 where path=? and dir=?;", {path, dir});
}

int64_t Syncdb::get_sync_nowtype(const std::string& path, bool dir) {
  int64_t type = 1;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery("select * from SYNCEDNOW where path = ? and dir=?;", {path, dir});
    if (set && set->next()) type = set->longForColumn("type");
    if (set) set->close();
  });
  return type;
}

void Syncdb::update_sync_now(const std::string& path, int64_t dateline) {
  write("update SYNCEDNOW set dateline=? where path=? and type=1;", {dateline, path});
}

std::vector<std::string> Syncdb::get_overwrites() {
  std::vector<std::string> paths;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery("select * from SYNCEDNOW where overwrite=1;");
    while (set && set->next()) paths.push_back(set->stringForColumn("path").value_or(""));
  });
  return paths;
}

std::vector<SyncNow> Syncdb::get_sync_now() {
  std::vector<SyncNow> entries;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery("select * from SYNCEDNOW;");
    while (set && set->next()) {
      SyncNow entry;
      entry.strWebPath = set->stringForColumn("path").value_or("");
      entry.bDir = set->longForColumn("dir") != 0;
      entry.ullDateline = static_cast<uint64_t>(set->longForColumn("dateline"));
      entries.push_back(std::move(entry));
    }
  });
  return entries;
}

void Syncdb::del_sync_now(const std::string& path, bool dir) {
  write("delete from SYNCEDNOW where path = ? and dir=? and type=1;", {path, dir});
}

}  // namespace nb
