// Opening, schema, migration, transactions and the shared job helpers of
// the sync store. The file row writes, queries and cursors live in
// SyncdbWrites.cpp, SyncdbQueries.cpp and SyncdbCursors.cpp.

#include "stores/syncdb/Syncdb.h"

#include "foundation/sqlite/FMResultSet.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"

namespace nb {

namespace {

constexpr const char* kCreateTables[] = {
    "CREATE TABLE IF NOT EXISTS SYNC(id INTEGER PRIMARY KEY AUTOINCREMENT,path varchar[1000] "
    "COLLATE NOCASE UNIQUE,upid int,dir int, filehash varchar[40],uuidhash varchar[40],filesize "
    "bigint,weblasttime bigint,lasttime bigint,lastid int,lastname varchar[50],creatortime "
    "bigint,lock int,lockid int,status int,versiontime bigint,property varchar[1000]);",
    "CREATE TABLE IF NOT EXISTS VERSION(path varchar[1000] COLLATE NOCASE,dateline "
    "bigint,compareindex bigint,compareinit int,PRIMARY KEY (path));",
    "CREATE TABLE IF NOT EXISTS SYNCEDNOW(path varchar[1000] COLLATE NOCASE,dir int,dateline "
    "bigint,type int,overwrite int,PRIMARY KEY(path));",
    "CREATE TABLE IF NOT EXISTS LINKNODE(webpath varchar[1000] COLLATE NOCASE,fullpath "
    "varchar[1000] COLLATE NOCASE,dir int,type int,PRIMARY KEY(webpath));",
    "CREATE TABLE IF NOT EXISTS OLDLINKNODE(webpath varchar[1000] COLLATE NOCASE,fullpath "
    "varchar[1000] COLLATE NOCASE,dir int,type int,dateline bigint,PRIMARY KEY(webpath));",
    "CREATE TABLE IF NOT EXISTS CACHENODE(webpath varchar[1000] COLLATE NOCASE,fullpath "
    "varchar[1000] COLLATE NOCASE,PRIMARY KEY(webpath));",
    "CREATE INDEX IF NOT EXISTS ifilehash on SYNC(filehash);",
    "CREATE INDEX IF NOT EXISTS iuuidhash on SYNC(uuidhash);",
    "CREATE INDEX IF NOT EXISTS istatus on SYNC(status);",
    "CREATE INDEX IF NOT EXISTS itype on SYNC(dir);",
    "CREATE INDEX IF NOT EXISTS ipath on SYNC(path);",
    "CREATE INDEX IF NOT EXISTS iupid on SYNC(upid);",
};

}  // namespace

std::unique_ptr<Syncdb> Syncdb::initpath(const std::string& path, FileSizeFn fileSize) {
  const uint64_t size = fileSize ? fileSize(path) : Util::filesize(path);
  std::unique_ptr<Syncdb> store(new Syncdb());
  store->init(path, size <= kCheckedSizeLimit);
  if (!store->dbQueue()) return nullptr;
  NBLOG_DEBUG("Syncdb initpath {}", path);
  return store;
}

std::unique_ptr<Syncdb> Syncdb::unopened() { return std::unique_ptr<Syncdb>(new Syncdb()); }

void Syncdb::createTable(bool integrity) {
  // A first sync writes every row several times, each write on its own.
  useWriteAheadLog();
  inDatabase([&](FMDatabase& db) {
    for (const char* sql : kCreateTables) db.executeUpdate(sql);
    if (integrity) db.executeUpdate("VACUUM;");
  });
}

void Syncdb::updateTable() {
  inDatabase([](FMDatabase& db) {
    // Stores from before these columns get them with 0 in every row; on a
    // current store the ALTERs fail and nothing changes.
    if (db.executeUpdate("ALTER TABLE VERSION add compareindex bigint;")) {
      db.executeUpdate("update VERSION set compareindex=0;");
    }
    if (db.executeUpdate("ALTER TABLE VERSION add compareinit int;")) {
      db.executeUpdate("update VERSION set compareinit=0;");
    }
  });
}

bool Syncdb::TransactionBegin() {
  bool began = false;
  inDatabase([&](FMDatabase& db) { began = db.executeUpdate("begin transaction;"); });
  return began;
}

bool Syncdb::TransactionEnd() {
  bool committed = false;
  inDatabase([&](FMDatabase& db) {
    committed = db.executeUpdate("commit transaction;");
    if (committed) return;
    // Left open, the transaction would swallow every later write of the
    // store and lose it at close.
    NBLOG_ERROR("Syncdb commit failed ({}), rolling back", db.lastErrorMessage());
    db.executeUpdate("rollback transaction;");
  });
  return committed;
}

SyncFileItem Syncdb::getSyncFileItemByFMResultSet(FMResultSet& set) {
  SyncFileItem item;
  item.nID = set.longForColumn("id");
  item.nUpID = set.longForColumn("upid");
  item.strWebPath = set.stringForColumn("path").value_or("");
  item.bDir = set.longForColumn("dir") != 0;
  item.strFileHash = set.stringForColumn("filehash").value_or("");
  item.ullFileSize = static_cast<uint64_t>(set.longForColumn("filesize"));
  item.strUuidHash = set.stringForColumn("uuidhash").value_or("");
  item.ullLastTime = static_cast<uint64_t>(set.longForColumn("lasttime"));
  item.ullWebLastTime = static_cast<uint64_t>(set.longForColumn("weblasttime"));
  item.nLastID = set.longForColumn("lastid");
  item.strLastName = set.stringForColumn("lastname").value_or("");
  item.ullCreatorTime = static_cast<uint64_t>(set.longForColumn("creatortime"));
  item.nLock = set.longForColumn("lock");
  item.nLockID = set.longForColumn("lockid");
  item.nStatus = set.longForColumn("status");
  item.strProperty = set.stringForColumn("property").value_or("");
  return item;
}

bool Syncdb::write(std::string_view sql, const SqlArgs& args) {
  bool ok = false;
  inDatabase([&](FMDatabase& db) { ok = db.executeUpdateRetry(sql, args); });
  return ok;
}

SyncFileItem Syncdb::lookup(std::string_view sql, const SqlArgs& args) {
  SyncFileItem item = SyncFileItem::notFound();
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery(sql, args);
    while (set && set->next()) item = getSyncFileItemByFMResultSet(*set);
  });
  return item;
}

std::vector<SyncFileItem> Syncdb::list(std::string_view sql, const SqlArgs& args) {
  std::vector<SyncFileItem> items;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery(sql, args);
    while (set && set->next()) items.push_back(getSyncFileItemByFMResultSet(*set));
  });
  return items;
}

int64_t Syncdb::count(std::string_view sql, const SqlArgs& args) {
  int64_t n = 0;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery(sql, args);
    if (set && set->next()) n = set->longForColumnIndex(0);
    if (set) set->close();
  });
  return n;
}

bool Syncdb::moveSubtree(std::string_view rowSql, const SqlArgs& rowArgs,
                         std::string_view subtreeSql, const SqlArgs& subtreeArgs) {
  bool ok = false;
  inDatabase([&](FMDatabase& db) {
    // A savepoint nests inside a transaction a caller may hold open.
    if (!db.executeUpdate("savepoint syncdb_move;")) return;
    // The subtree goes first: renaming the row first would put it inside its
    // own old subtree when the new path lies below the old one.
    ok = db.executeUpdateRetry(subtreeSql, subtreeArgs) && db.executeUpdateRetry(rowSql, rowArgs);
    if (!ok) db.executeUpdate("rollback to syncdb_move;");
    db.executeUpdate("release syncdb_move;");
  });
  return ok;
}

}  // namespace nb
