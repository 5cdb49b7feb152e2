#include "stores/transfer/TransPortDB.h"

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"
#include "platform/Log.h"

namespace nb {

namespace {

struct TableDefinition {
  const char* name;
  const char* sql;
};

// Later columns (Download.stat, OPENHISTORY.uploadtime) are part of a new
// file; older files get them from updateTable.
constexpr TableDefinition kTables[] = {
    {"Download",
     "CREATE TABLE IF NOT EXISTS Download(id INTEGER PRIMARY KEY AUTOINCREMENT, mountid int, "
     "webpath varchar[1000] COLLATE NOCASE, fullpath varchar[1000] COLLATE NOCASE, "
     "filehash varchar[40], filesize bigint, dir int, status int, offset bigint, actlast bigint, "
     "expand int, sync int, errornum int, errormsg varchar [1024], stat int)"},
    {"Upload",
     "CREATE TABLE IF NOT EXISTS Upload(id INTEGER PRIMARY KEY AUTOINCREMENT, mountid int, "
     "webpath varchar[1000] COLLATE NOCASE, fullpath varchar[1000] COLLATE NOCASE, "
     "filehash varchar[40], filesize bigint, dir int, status int, offset bigint, last bigint, "
     "actlast bigint, expand int, sync int, errornum int, errormsg varchar [1024], "
     "parentpath varchar[1000] COLLATE NOCASE)"},
    {"OPENHISTORY",
     "CREATE TABLE IF NOT EXISTS OPENHISTORY(mountid int, webpath varchar[1000] COLLATE NOCASE, "
     "fullpath varchar[1000] COLLATE NOCASE, filesize bigint, last bigint, uploadtime bigint)"},
    {"TaskDir",
     "CREATE TABLE IF NOT EXISTS TaskDir(mountid int, webpath varchar[1000] COLLATE NOCASE, "
     "fullpath varchar[1000] COLLATE NOCASE, PRIMARY KEY (fullpath))"},
};

constexpr const char* kIndexes[] = {
    "CREATE INDEX IF NOT EXISTS dstatus ON Download(status)",
    "CREATE INDEX IF NOT EXISTS dmwf ON Download(mountid,webpath,fullpath)",
    "CREATE INDEX IF NOT EXISTS dai ON Download(actlast,id)",
    "CREATE INDEX IF NOT EXISTS dsmw ON Download(status,mountid,webpath)",
    "CREATE INDEX IF NOT EXISTS dfilehash ON Download(filehash)",
    "CREATE INDEX IF NOT EXISTS ustatus ON Upload(status)",
    "CREATE INDEX IF NOT EXISTS umw ON Upload(mountid,webpath)",
    "CREATE INDEX IF NOT EXISTS uai ON Upload(actlast,id)",
    "CREATE INDEX IF NOT EXISTS usmw ON Upload(status,mountid,webpath)",
    "CREATE INDEX IF NOT EXISTS usa ON Upload(status,actlast)",
};

// Each step of the start-up clean-up: the Download statement, then Upload's.
struct CleanupStep {
  const char* download;
  const char* upload;
};

// Finished re-uploads of opened files survive: the opened-file pass reads
// them to tell an edited copy from one already sent.
constexpr CleanupStep kClearTrans{
    "delete from Download where status = 4",
    "delete from Upload where status = 4 and expand <> 1"};
constexpr CleanupStep kResetError{
    "update Download set status = 2, errornum = 0, errormsg = '', actlast = 0 where status >= 5",
    "update Upload set status = 2, errornum = 0, errormsg = '', actlast = 0 where status >= 5"};
constexpr CleanupStep kResetStart{
    "update Download set status = 2, errornum = 0, errormsg = '', actlast = 0 where status = 1",
    "update Upload set status = 2, errornum = 0, errormsg = '', actlast = 0 where status = 1"};

}  // namespace

TransPortDB& TransPortDB::shareTransPortDB() {
  static TransPortDB instance;
  return instance;
}

void TransPortDB::setPath(const std::string& path) {
  MySqlite::setPath(path, true);
  setNodeArray(GetTaskDirs());
  ClearTrans();
  ClearOpen();
  ResetError();
  ResetStart();
}

void TransPortDB::exit() { setNodeArray(std::nullopt); }

void TransPortDB::createTable(bool integrity) {
  // Every transfer is added, started and finished by writes of their own.
  useWriteAheadLog();
  inDatabase([&](FMDatabase& db) {
    for (const auto& table : kTables) {
      if (!db.executeUpdate(table.sql)) NBLOG_ERROR("error to create {}", table.name);
    }
    for (const char* index : kIndexes) db.executeUpdate(index);
    if (integrity) db.executeUpdate("VACUUM;");
  });
}

void TransPortDB::updateTable() {
  inDatabase([](FMDatabase& db) {
    // ALTER fails on a file that has the column; only a real addition is
    // back-filled.
    if (db.executeUpdate("ALTER TABLE OPENHISTORY ADD COLUMN uploadtime bigint")) {
      db.executeUpdate("UPDATE OPENHISTORY SET uploadtime = last");
    }
    if (db.executeUpdate("ALTER TABLE Download ADD COLUMN stat int")) {
      db.executeUpdate("UPDATE Download SET stat = 0");
    }
  });
}

namespace {

void runCleanup(MySqlite& store, const CleanupStep& step) {
  store.inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry(step.download);
    db.executeUpdateRetry(step.upload);
  });
}

}  // namespace

void TransPortDB::ClearTrans() { runCleanup(*this, kClearTrans); }

void TransPortDB::ResetError() { runCleanup(*this, kResetError); }

void TransPortDB::ResetStart() { runCleanup(*this, kResetStart); }

std::vector<TaskDir_Stx> TransPortDB::GetTaskDirs() {
  std::vector<TaskDir_Stx> tasks;
  inDatabase([&](FMDatabase& db) {
    auto rows = db.executeQuery("select mountid, webpath, fullpath from TaskDir");
    if (!rows) return;
    while (rows->next()) {
      TaskDir_Stx task;
      task.nMountID = rows->longForColumn("mountid");
      task.strWebpath = rows->stringForColumn("webpath").value_or("");
      task.strFullpath = rows->stringForColumn("fullpath").value_or("");
      tasks.push_back(std::move(task));
    }
    rows->close();
  });
  return tasks;
}

std::optional<std::vector<TaskDir_Stx>> TransPortDB::nodeArray() const {
  std::lock_guard lock(nodeMutex_);
  return nodeArray_;
}

void TransPortDB::setNodeArray(std::optional<std::vector<TaskDir_Stx>> tasks) {
  std::lock_guard lock(nodeMutex_);
  nodeArray_ = std::move(tasks);
}

}  // namespace nb
