#include "foundation/sqlite/MySqlite.h"

#include <fcntl.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "foundation/sqlite/FMResultSet.h"
#include "platform/Clock.h"
#include "platform/Log.h"

namespace nb {

namespace fs = std::filesystem;

namespace {

// Files SQLite keeps beside a database; a leftover one would be replayed
// into whatever file next takes the database's name.
constexpr const char* kCompanions[] = {"-journal", "-wal", "-shm"};

bool integrityOk(FMDatabase& db) {
  auto set = db.executeQuery("pragma integrity_check");
  if (!set || !set->next()) return false;
  const bool ok = set->stringForColumnIndex(0) == "ok";
  set->close();
  return ok;
}

void syncFile(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Copies `from` over `to` so that `to` is either the old file or the whole
// new copy, never a partial one.
bool copyReplacing(const fs::path& from, const fs::path& to) {
  fs::path temp = to;
  temp += ".tmp";
  std::error_code ec;
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
  if (!ec) {
    syncFile(temp);
    fs::rename(temp, to, ec);
  }
  if (ec) {
    NBSQLLOG("could not copy {} to {}: {}", from.string(), to.string(), ec.message());
    std::error_code ignored;
    fs::remove(temp, ignored);
    return false;
  }
  return true;
}

// Moves `from` to `to` (replacing it); falls back to a copy, removing
// `from` only once the copy is complete.
bool moveReplacing(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) return true;
  if (!copyReplacing(from, to)) return false;
  fs::remove(from, ec);
  return true;
}

// The process clock, so that whoever compares the stamp with "now" reads
// the same clock, a test's manual one included.
double wallClockSeconds() { return static_cast<double>(platform::nowSeconds()); }

// Copies the database open on `source` into a new file at `destination`
// (replacing it) with the online backup, which sees one consistent state of
// the source even while other connections write to it.
bool backupDatabase(sqlite3* source, const fs::path& destination) {
  fs::path temp = destination;
  temp += ".tmp";
  std::error_code ec;
  fs::remove(temp, ec);
  sqlite3* target = nullptr;
  bool ok = false;
  if (sqlite3_open_v2(temp.c_str(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) == SQLITE_OK) {
    if (sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main")) {
      const int rc = sqlite3_backup_step(backup, -1);
      ok = sqlite3_backup_finish(backup) == SQLITE_OK && rc == SQLITE_DONE;
    }
    if (!ok) NBSQLLOG("backup to {} failed: {}", destination.string(), sqlite3_errmsg(target));
  }
  sqlite3_close(target);
  if (ok) {
    syncFile(temp);
    fs::rename(temp, destination, ec);
    ok = !ec;
  }
  if (!ok) fs::remove(temp, ec);
  return ok;
}

// The same from a closed store's file, through a read-only connection.
bool backupDatabaseFile(const std::string& path, const fs::path& destination) {
  sqlite3* source = nullptr;
  bool ok = false;
  if (sqlite3_open_v2(path.c_str(), &source, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(source, 10'000);
    ok = backupDatabase(source, destination);
  }
  sqlite3_close(source);
  return ok;
}

}  // namespace

bool MySqlite::backupTo(const std::string& destination) {
  bool ok = false;
  bool ran = inDatabase([&](FMDatabase& db) {
    sqlite3* handle = db.sqliteHandle();
    ok = handle != nullptr && backupDatabase(handle, destination);
  });
  return ran ? ok : backupFileTo(strFilePath(), destination);
}

bool MySqlite::backupFileTo(const std::string& path, const std::string& destination) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec) && backupDatabaseFile(path, destination);
}

void MySqlite::useWriteAheadLog() {
  inDatabase([](FMDatabase& db) {
    std::string mode;
    if (auto set = db.executeQuery("pragma journal_mode=WAL"); set && set->next()) {
      mode = set->stringForColumnIndex(0).value_or("");
      set->close();
    }
    // Without the log (a file system that cannot share its index) the
    // rollback journal stays, and with it the full flushes it relies on.
    if (mode != "wal") {
      NBSQLLOG("no write-ahead log for {} (journal mode {})", db.databasePath().value_or(""), mode);
      return;
    }
    db.executeUpdate("pragma synchronous=NORMAL");
  });
}

void MySqlite::createTable(bool) {}

void MySqlite::updateTable() {}

void MySqlite::openQueue(const std::string& path) {
  auto queue = FMDatabaseQueue::databaseQueueWithPath(path);
  std::shared_ptr<FMDatabaseQueue> previous;
  {
    std::lock_guard lock(mutex_);
    previous = std::move(dbQueue_);
    dbQueue_ = std::move(queue);
  }
  // `previous` closes its connection here, once no job holds it any more.
}

void MySqlite::init(const std::string& path, bool integrity) {
  setStrFilePath(path);
  openQueue(path);
  createTable(integrity);
  updateTable();
  if (!integrity || checkIntegrity()) return;
  NBSQLLOG("integrity check failed, restoring {} from its backup", path);
  reset();
  openQueue(path);
  createTable(integrity);
  updateTable();
}

void MySqlite::setPath(const std::string& path, bool integrity) { init(path, integrity); }

bool MySqlite::inDatabase(const FMDatabaseQueue::Job& job) {
  const auto queue = dbQueue();
  return queue && queue->inDatabase(job);
}

bool MySqlite::checkIntegrity() {
  bool ok = false;
  inDatabase([&](FMDatabase& db) { ok = integrityOk(db); });
  return ok;
}

void MySqlite::backup() {
  const std::string path = strFilePath();
  if (!path.empty()) {
    // Check and copy in one job: no write of another thread lands mid-copy.
    inDatabase([&](FMDatabase& db) {
      if (!integrityOk(db)) return;
      // A store with a write-ahead log holds its last commits in the log
      // until a checkpoint: they go into the file first, or the copy would
      // miss them. Without a log this does nothing.
      if (auto set = db.executeQuery("pragma wal_checkpoint(TRUNCATE)")) {
        set->next();  // the checkpoint runs as the statement steps
        set->close();
      }
      copyReplacing(path, path + "_old");
    });
  }
  ftBackupTime_ = wallClockSeconds();
}

void MySqlite::reset() {
  close();
  const std::string path = strFilePath();
  if (path.empty()) return;
  const std::string error = path + "_error";
  std::error_code ec;
  if (fs::exists(path, ec) && !moveReplacing(path, error)) {
    NBSQLLOG("could not set {} aside; it stays in place", path);
    return;
  }
  for (const char* suffix : kCompanions) {
    const std::string companion = path + suffix;
    if (!fs::exists(companion, ec)) continue;
    if (!moveReplacing(companion, error + suffix)) fs::remove(companion, ec);
  }
  const std::string old = path + "_old";
  if (!fs::exists(old, ec)) return;
  if (copyReplacing(old, path)) moveReplacing(old, path + "_old_reset");
}

void MySqlite::close() {
  if (const auto queue = dbQueue()) queue->close();
}

std::shared_ptr<FMDatabaseQueue> MySqlite::dbQueue() const {
  std::lock_guard lock(mutex_);
  return dbQueue_;
}

void MySqlite::setDbQueue(std::shared_ptr<FMDatabaseQueue> queue) {
  std::lock_guard lock(mutex_);
  dbQueue_ = std::move(queue);
}

std::string MySqlite::strFilePath() const {
  std::lock_guard lock(mutex_);
  return strFilePath_;
}

void MySqlite::setStrFilePath(std::string path) {
  std::lock_guard lock(mutex_);
  strFilePath_ = std::move(path);
}

}  // namespace nb
