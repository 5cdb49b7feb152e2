#include "foundation/sqlite/FMDatabase.h"

#include <sqlcipher/sqlite3.h>

#include <chrono>
#include <thread>
#include <vector>

#include "foundation/sqlite/FMResultSet.h"
#include "foundation/sqlite/FMStatement.h"
#include "foundation/sqlite/PinyinCollator.h"
#include "foundation/sqlite/SqliteBusyWait.h"
#include "platform/Log.h"

namespace nb {

namespace {

bool isBusy(int rc) { return rc == SQLITE_BUSY || rc == SQLITE_LOCKED; }

constexpr auto kUpdateRetryDelay = std::chrono::milliseconds(500);
constexpr int kUpdateRetries = 2;

}  // namespace

FMDatabase::FMDatabase(std::optional<std::string> path) : path_(std::move(path)) {}

std::unique_ptr<FMDatabase> FMDatabase::databaseWithPath(std::optional<std::string> path) {
  return std::make_unique<FMDatabase>(std::move(path));
}

FMDatabase::~FMDatabase() { close(); }

std::string FMDatabase::name() const { return path_.value_or(":memory:"); }

bool FMDatabase::openWithFlags(int flags) {
  if (db_ != nullptr) return true;
  const int rc = sqlite3_open_v2(name().c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    NBSQLLOG("error opening!: {}", rc);
    sqlite3_close(db_);  // SQLite hands out a handle even when the open fails
    db_ = nullptr;
    return false;
  }
  return true;
}

bool FMDatabase::open() {
  if (db_ != nullptr) return true;
  if (!openWithFlags(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) return false;
  registerCollations();
  return true;
}

bool FMDatabase::registerCollations() {
  if (!collator_) collator_ = std::make_unique<PinyinCollator>();
  return collator_->registerOn(db_);
}

bool FMDatabase::close() {
  // Detach first, so that a set's close does not edit the set we walk.
  const auto sets = std::move(openResultSets_);
  openResultSets_.clear();
  for (FMResultSet* set : sets) {
    set->setParentDB(nullptr);
    set->close();
  }
  cachedStatements_.clear();  // finalizes
  if (db_ == nullptr) return true;

  BusyWait wait("close", name(), busyRetryTimeout_);
  bool finalizedLeaked = false;
  int rc = sqlite3_close(db_);
  while (isBusy(rc)) {
    if (!wait.retry()) {
      NBSQLLOG("Database busy, unable to close");
      return false;
    }
    if (!finalizedLeaked) {
      finalizedLeaked = true;
      while (sqlite3_stmt* leaked = sqlite3_next_stmt(db_, nullptr)) {
        NBSQLLOG("Closing leaked statement");
        sqlite3_finalize(leaked);
      }
    }
    rc = sqlite3_close(db_);
  }
  if (rc != SQLITE_OK) NBSQLLOG("error closing!: {}", rc);
  db_ = nullptr;
  inTransaction_ = false;
  return true;
}

bool FMDatabase::setKey(const std::string& key) {
  if (key.empty() || db_ == nullptr) return false;
  return sqlite3_key(db_, key.data(), static_cast<int>(key.size())) == SQLITE_OK;
}

bool FMDatabase::rekey(const std::string& key) {
  if (key.empty() || db_ == nullptr) return false;
  const int rc = sqlite3_rekey(db_, key.data(), static_cast<int>(key.size()));
  if (rc != SQLITE_OK) {
    NBSQLLOG("error on rekey: {}", rc);
    NBSQLLOG("{}", lastErrorMessage());
  }
  return rc == SQLITE_OK;
}

std::unique_ptr<FMStatement> FMDatabase::prepareAndBind(std::string_view sql, const SqlArgs* args,
                                                        const SqlNamedArgs* named,
                                                        const char* kind) {
  if (db_ == nullptr) {
    NBSQLLOG("The FMDatabase {} is not open.", name());
    return nullptr;
  }
  if (isExecutingStatement_) {
    NBSQLLOG("The FMDatabase {} is currently in use.", name());
    return nullptr;
  }
  isExecutingStatement_ = true;
  auto statement = takeCachedStatement(sql);
  if (!statement) {
    sqlite3_stmt* prepared = nullptr;
    BusyWait wait(kind, name(), busyRetryTimeout_);
    int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &prepared, nullptr);
    while (isBusy(rc) && wait.retry()) {
      rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &prepared, nullptr);
    }
    statement = std::make_unique<FMStatement>(prepared, std::string(sql));
    if (rc != SQLITE_OK || prepared == nullptr) {
      if (logsErrors_) {
        NBSQLLOG("DB Error: {} \"{}\"", lastErrorCode(), lastErrorMessage());
        NBSQLLOG("DB Query: {}", sql);
        NBSQLLOG("DB Path: {}", name());
      }
      isExecutingStatement_ = false;
      return nullptr;
    }
  }
  sqlite3_stmt* raw = statement->statement();

  const int count = sqlite3_bind_parameter_count(raw);
  bool bound = true;
  if (named != nullptr) {
    bound = bindNamed(*statement, *named, sql, kind);
  } else if (args != nullptr && static_cast<int>(args->size()) != count) {
    NBSQLLOG("Error: the bind count is not correct for the # of variables ({}) ({})", sql, kind);
    bound = false;
  } else {
    for (int i = 0; bound && args != nullptr && i < count; ++i) {
      bound = bindSqlValue(raw, i + 1, (*args)[i]) == SQLITE_OK;
      if (!bound) NBSQLLOG("could not bind value {} of {}: {}", i + 1, sql, lastErrorMessage());
    }
  }
  if (!bound) {
    isExecutingStatement_ = false;
    return nullptr;
  }
  return statement;
}

bool FMDatabase::bindNamed(FMStatement& statement, const SqlNamedArgs& args,
                           std::string_view sql, const char* kind) {
  sqlite3_stmt* raw = statement.statement();
  if (static_cast<int>(args.size()) != sqlite3_bind_parameter_count(raw)) {
    NBSQLLOG("Error: the bind count is not correct for the # of variables ({}) ({})", sql, kind);
    return false;
  }
  for (const auto& [key, value] : args) {
    const int index = sqlite3_bind_parameter_index(raw, (":" + key).c_str());
    if (index == 0) {
      NBSQLLOG("Could not find index for {}", key);
      continue;
    }
    if (bindSqlValue(raw, index, value) != SQLITE_OK) return false;
  }
  return true;
}

std::unique_ptr<FMResultSet> FMDatabase::query(std::string_view sql, const SqlArgs* args,
                                               const SqlNamedArgs* named) {
  auto statement = prepareAndBind(sql, args, named, "executeQuery");
  if (!statement) return nullptr;
  statement->setUseCount(statement->useCount() + 1);
  auto set = std::make_unique<FMResultSet>(std::move(statement), this, std::string(sql));
  openResultSets_.insert(set.get());
  isExecutingStatement_ = false;
  return set;
}

std::unique_ptr<FMResultSet> FMDatabase::executeQuery(std::string_view sql, const SqlArgs& args) {
  return query(sql, &args, nullptr);
}

std::unique_ptr<FMResultSet> FMDatabase::executeQueryWithParameterDictionary(
    std::string_view sql, const SqlNamedArgs& args) {
  return query(sql, nullptr, &args);
}

std::unique_ptr<FMStatement> FMDatabase::takeCachedStatement(std::string_view sql) {
  const auto found = cachedStatements_.find(std::string(sql));
  if (found == cachedStatements_.end()) return nullptr;
  auto statement = std::move(found->second);
  cachedStatements_.erase(found);
  return statement;
}

void FMDatabase::recycleStatement(std::unique_ptr<FMStatement> statement) {
  if (!statement || statement->statement() == nullptr || db_ == nullptr) return;
  if (statement->reset() != SQLITE_OK) return;  // finalized on the way out
  sqlite3_clear_bindings(statement->statement());
  if (cachedStatements_.size() >= kMaxCachedStatements) return;
  const std::string key = statement->query();
  cachedStatements_.try_emplace(key, std::move(statement));
}

int FMDatabase::stepUpdate(FMStatement& statement) {
  sqlite3_stmt* raw = statement.statement();
  BusyWait wait("executeUpdate", name(), busyRetryTimeout_);
  int rc = sqlite3_step(raw);
  while (isBusy(rc)) {
    if (rc == SQLITE_LOCKED) {
      const int reset = sqlite3_reset(raw);
      if (reset != SQLITE_LOCKED) NBSQLLOG("Unexpected result from sqlite3_reset ({}) eu", reset);
    }
    if (!wait.retry()) break;
    rc = sqlite3_step(raw);
  }
  return rc;
}

bool FMDatabase::update(std::string_view sql, const SqlArgs* args, const SqlNamedArgs* named) {
  auto statement = prepareAndBind(sql, args, named, "executeUpdate");
  if (!statement) return false;
  const int rc = stepUpdate(*statement);
  const bool ok = rc == SQLITE_DONE || rc == SQLITE_OK;
  if (!ok) {
    const std::string message = lastErrorMessage();
    if (rc == SQLITE_ERROR) {
      NBSQLLOG("Error calling sqlite3_step ({}: {}) SQLITE_ERROR", rc, message);
    } else if (rc == SQLITE_MISUSE) {
      NBSQLLOG("Error calling sqlite3_step ({}: {}) SQLITE_MISUSE", rc, message);
    } else {
      NBSQLLOG("Unknown error calling sqlite3_step ({}: {}) eu", rc, message);
      if (rc == SQLITE_ROW) NBSQLLOG("A executeUpdate is being called with a query string '{}'", sql);
    }
    NBSQLLOG("DB Query: {}", sql);
  }
  // After a failed step the finalize repeats the step's error; only a
  // finalize that fails on its own is news. A statement that ran well is
  // kept for reuse.
  const int closed = ok ? statement->reset() : statement->close();
  if (ok && closed == SQLITE_OK) recycleStatement(std::move(statement));
  if (ok && closed != SQLITE_OK) {
    NBSQLLOG("Unknown error finalizing or resetting statement ({}: {})", closed, lastErrorMessage());
    NBSQLLOG("DB Query: {}", sql);
  }
  isExecutingStatement_ = false;
  return ok;
}

bool FMDatabase::executeUpdate(std::string_view sql, const SqlArgs& args) {
  return update(sql, &args, nullptr);
}

bool FMDatabase::executeUpdateWithParameterDictionary(std::string_view sql,
                                                      const SqlNamedArgs& args) {
  return update(sql, nullptr, &args);
}

bool FMDatabase::executeUpdateRetry(std::string_view sql, const SqlArgs& args) {
  bool ok = update(sql, &args, nullptr);
  for (int retry = 0; !ok && retry < kUpdateRetries; ++retry) {
    std::this_thread::sleep_for(kUpdateRetryDelay);
    ok = update(sql, &args, nullptr);
    NBSQLLOG("{} {} {}", sql, retry, ok ? 1 : 0);
  }
  return ok;
}

bool FMDatabase::beginTransaction() {
  const bool ok = executeUpdate("begin exclusive transaction");
  if (ok) inTransaction_ = true;
  return ok;
}

bool FMDatabase::beginDeferredTransaction() {
  const bool ok = executeUpdate("begin deferred transaction");
  if (ok) inTransaction_ = true;
  return ok;
}

bool FMDatabase::commit() {
  const bool ok = executeUpdate("commit transaction");
  if (ok) inTransaction_ = false;
  return ok;
}

bool FMDatabase::rollback() {
  const bool ok = executeUpdate("rollback transaction");
  if (ok) inTransaction_ = false;
  return ok;
}

bool FMDatabase::goodConnection() {
  if (db_ == nullptr) return false;
  auto set = executeQuery("select name from sqlite_master where type='table'");
  return set != nullptr;
}

std::string FMDatabase::lastErrorMessage() const {
  return db_ != nullptr ? sqlite3_errmsg(db_) : std::string();
}

int FMDatabase::lastErrorCode() const { return db_ != nullptr ? sqlite3_errcode(db_) : 0; }

bool FMDatabase::hadError() const {
  const int code = lastErrorCode();
  return code > 0 && code < 100;
}

int64_t FMDatabase::lastInsertRowId() const {
  if (db_ == nullptr || isExecutingStatement_) return 0;
  return sqlite3_last_insert_rowid(db_);
}

int FMDatabase::changes() const {
  if (db_ == nullptr || isExecutingStatement_) return 0;
  return sqlite3_changes(db_);
}

std::string FMDatabase::sqliteLibVersion() { return sqlite3_libversion(); }

bool FMDatabase::isSQLiteThreadSafe() { return sqlite3_threadsafe() != 0; }

}  // namespace nb
