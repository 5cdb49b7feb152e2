#include "foundation/sqlite/FMDatabaseAdditions.h"

#include <sqlcipher/sqlite3.h>

#include "foundation/sqlite/SqliteBusyWait.h"

namespace nb {

namespace {

// Runs `sql` and reads the first column of its first row with `read`.
template <typename T, typename Read>
T firstValue(FMDatabase& db, std::string_view sql, const SqlArgs& args, T fallback, Read read) {
  auto set = db.executeQuery(sql, args);
  if (!set || !set->next()) return fallback;
  T value = read(*set);
  set->close();
  return value;
}

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// A pragma argument cannot be bound; it goes in as a quoted identifier.
std::string quotedIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

}  // namespace

std::optional<std::string> stringForQuery(FMDatabase& db, std::string_view sql,
                                          const SqlArgs& args) {
  return firstValue<std::optional<std::string>>(
      db, sql, args, std::nullopt, [](FMResultSet& s) { return s.stringForColumnIndex(0); });
}

int32_t intForQuery(FMDatabase& db, std::string_view sql, const SqlArgs& args) {
  return firstValue<int32_t>(db, sql, args, 0,
                             [](FMResultSet& s) { return s.intForColumnIndex(0); });
}

int64_t longForQuery(FMDatabase& db, std::string_view sql, const SqlArgs& args) {
  return firstValue<int64_t>(db, sql, args, 0,
                             [](FMResultSet& s) { return s.longForColumnIndex(0); });
}

bool boolForQuery(FMDatabase& db, std::string_view sql, const SqlArgs& args) {
  return firstValue<bool>(db, sql, args, false,
                          [](FMResultSet& s) { return s.boolForColumnIndex(0); });
}

double doubleForQuery(FMDatabase& db, std::string_view sql, const SqlArgs& args) {
  return firstValue<double>(db, sql, args, 0.0,
                            [](FMResultSet& s) { return s.doubleForColumnIndex(0); });
}

std::optional<SqlBlob> dataForQuery(FMDatabase& db, std::string_view sql, const SqlArgs& args) {
  return firstValue<std::optional<SqlBlob>>(
      db, sql, args, std::nullopt, [](FMResultSet& s) { return s.dataForColumnIndex(0); });
}

bool tableExists(FMDatabase& db, std::string_view table) {
  return firstValue<bool>(
      db, "select [sql] from sqlite_master where [type] = 'table' and lower(name) = ?",
      {lowered(table)}, false, [](FMResultSet&) { return true; });
}

std::unique_ptr<FMResultSet> getSchema(FMDatabase& db) {
  return db.executeQuery(
      "SELECT type, name, tbl_name, rootpage, sql FROM (SELECT * FROM sqlite_master UNION ALL "
      "SELECT * FROM sqlite_temp_master) WHERE type != 'meta' AND name NOT LIKE 'sqlite_%' "
      "ORDER BY tbl_name, type DESC, name");
}

std::unique_ptr<FMResultSet> getTableSchema(FMDatabase& db, std::string_view table) {
  return db.executeQuery("PRAGMA table_info(" + quotedIdentifier(table) + ")");
}

bool columnExists(FMDatabase& db, std::string_view table, std::string_view column) {
  auto set = getTableSchema(db, lowered(table));
  if (!set) return false;
  const std::string wanted = lowered(column);
  while (set->next()) {
    if (lowered(set->stringForColumn("name").value_or("")) == wanted) {
      set->close();
      return true;
    }
  }
  return false;
}

bool validateSQL(FMDatabase& db, std::string_view sql, std::string* error) {
  sqlite3* handle = db.sqliteHandle();
  if (handle == nullptr) {
    if (error != nullptr) *error = "database not open";
    return false;
  }
  sqlite3_stmt* statement = nullptr;
  BusyWait wait("validateSQL", db.databasePath().value_or(":memory:"), db.busyRetryTimeout());
  int rc = sqlite3_prepare_v2(handle, sql.data(), static_cast<int>(sql.size()), &statement, nullptr);
  while ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && wait.retry()) {
    rc = sqlite3_prepare_v2(handle, sql.data(), static_cast<int>(sql.size()), &statement, nullptr);
  }
  sqlite3_finalize(statement);
  if (rc != SQLITE_OK && error != nullptr) *error = db.lastErrorMessage();
  return rc == SQLITE_OK;
}

void runInTransaction(FMDatabase& db, const TransactionJob& job, bool exclusive) {
  if (exclusive ? !db.beginTransaction() : !db.beginDeferredTransaction()) return;
  bool rollback = false;
  job(db, rollback);
  if (rollback) {
    db.rollback();
  } else {
    db.commit();
  }
}

}  // namespace nb
