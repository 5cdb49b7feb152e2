#include "foundation/sqlite/FMResultSet.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMStatement.h"
#include "foundation/sqlite/SqliteBusyWait.h"
#include "platform/Log.h"

namespace nb {

namespace {

std::string lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
  });
  return out;
}

}  // namespace

FMResultSet::FMResultSet(std::unique_ptr<FMStatement> statement, FMDatabase* parent,
                         std::string query)
    : parentDB_(parent), statement_(std::move(statement)), query_(std::move(query)) {}

FMResultSet::~FMResultSet() { close(); }

void FMResultSet::close() {
  onRow_ = false;
  FMDatabase* parent = parentDB_;
  parentDB_ = nullptr;
  if (statement_) {
    // The connection keeps the statement for the next run of the same text;
    // without one it is finalized here.
    if (parent != nullptr) {
      parent->recycleStatement(std::move(statement_));
    } else {
      statement_.reset();
    }
  }
  if (parent != nullptr) parent->resultSetDidClose(this);
}

bool FMResultSet::next() {
  if (!statement_ || statement_->statement() == nullptr) return false;
  sqlite3_stmt* raw = statement_->statement();
  const std::string path =
      parentDB_ != nullptr ? parentDB_->databasePath().value_or(":memory:") : std::string();
  BusyWait wait("next", path, parentDB_ != nullptr ? parentDB_->busyRetryTimeout() : 0);
  int rc = sqlite3_step(raw);
  while (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
    if (rc == SQLITE_LOCKED) {
      const int reset = sqlite3_reset(raw);
      if (reset != SQLITE_LOCKED) NBSQLLOG("Unexpected result from sqlite3_reset ({}) rs", reset);
    }
    if (!wait.retry()) break;
    rc = sqlite3_step(raw);
  }
  if (rc == SQLITE_ROW) {
    onRow_ = true;
    return true;
  }
  if (rc != SQLITE_DONE) {
    const char* message = sqlite3_errmsg(sqlite3_db_handle(raw));
    if (rc == SQLITE_ERROR || rc == SQLITE_MISUSE) {
      NBSQLLOG("Error calling sqlite3_step ({}: {}) rs", rc, message);
    } else {
      NBSQLLOG("Unknown error calling sqlite3_step ({}: {}) rs", rc, message);
    }
  }
  close();
  return false;
}

int FMResultSet::columnCount() const {
  return statement_ ? sqlite3_column_count(statement_->statement()) : 0;
}

std::optional<std::string> FMResultSet::columnNameForIndex(int index) const {
  if (index < 0 || index >= columnCount()) return std::nullopt;
  const char* name = sqlite3_column_name(statement_->statement(), index);
  return name != nullptr ? std::optional<std::string>(name) : std::nullopt;
}

void FMResultSet::setupColumnNames() {
  if (columnNamesSetup_ || !statement_) return;
  const int count = columnCount();
  for (int i = 0; i < count; ++i) {
    columnNameToIndexMap_[lowered(columnNameForIndex(i).value_or(""))] = i;
  }
  columnNamesSetup_ = true;
}

int FMResultSet::columnIndexForName(std::string_view name) {
  setupColumnNames();
  const std::string key = lowered(name);
  const auto it = columnNameToIndexMap_.find(key);
  if (it != columnNameToIndexMap_.end()) return it->second;
  NBSQLLOG("Warning: I could not find the column named '{}'.", key);
  return -1;
}

bool FMResultSet::readable(int index) const {
  return onRow_ && statement_ && index >= 0 && index < columnCount();
}

int32_t FMResultSet::intForColumnIndex(int index) const {
  return readable(index) ? sqlite3_column_int(statement_->statement(), index) : 0;
}

int64_t FMResultSet::longForColumnIndex(int index) const {
  return readable(index) ? sqlite3_column_int64(statement_->statement(), index) : 0;
}

bool FMResultSet::boolForColumnIndex(int index) const { return intForColumnIndex(index) != 0; }

double FMResultSet::doubleForColumnIndex(int index) const {
  return readable(index) ? sqlite3_column_double(statement_->statement(), index) : 0.0;
}

bool FMResultSet::columnIndexIsNull(int index) const {
  return !readable(index) || sqlite3_column_type(statement_->statement(), index) == SQLITE_NULL;
}

std::optional<std::string> FMResultSet::stringForColumnIndex(int index) const {
  if (columnIndexIsNull(index)) return std::nullopt;
  sqlite3_stmt* raw = statement_->statement();
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, index));
  if (text == nullptr) return std::nullopt;
  return std::string(text, static_cast<size_t>(sqlite3_column_bytes(raw, index)));
}

std::optional<SqlBlob> FMResultSet::dataForColumnIndex(int index) const {
  if (columnIndexIsNull(index)) return std::nullopt;
  sqlite3_stmt* raw = statement_->statement();
  const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(raw, index));
  const int size = sqlite3_column_bytes(raw, index);
  if (bytes == nullptr || size <= 0) return SqlBlob{};
  return SqlBlob(bytes, bytes + size);
}

SqlValue FMResultSet::objectForColumnIndex(int index) const {
  if (columnIndexIsNull(index)) return SqlNull{};
  switch (sqlite3_column_type(statement_->statement(), index)) {
    case SQLITE_INTEGER: return longForColumnIndex(index);
    case SQLITE_FLOAT: return doubleForColumnIndex(index);
    case SQLITE_BLOB: return *dataForColumnIndex(index);
    default: return *stringForColumnIndex(index);
  }
}

int32_t FMResultSet::intForColumn(std::string_view name) {
  return intForColumnIndex(columnIndexForName(name));
}
int64_t FMResultSet::longForColumn(std::string_view name) {
  return longForColumnIndex(columnIndexForName(name));
}
bool FMResultSet::boolForColumn(std::string_view name) {
  return boolForColumnIndex(columnIndexForName(name));
}
double FMResultSet::doubleForColumn(std::string_view name) {
  return doubleForColumnIndex(columnIndexForName(name));
}
std::optional<std::string> FMResultSet::stringForColumn(std::string_view name) {
  return stringForColumnIndex(columnIndexForName(name));
}
std::optional<SqlBlob> FMResultSet::dataForColumn(std::string_view name) {
  return dataForColumnIndex(columnIndexForName(name));
}
bool FMResultSet::columnIsNull(std::string_view name) {
  return columnIndexIsNull(columnIndexForName(name));
}
SqlValue FMResultSet::objectForColumnName(std::string_view name) {
  return objectForColumnIndex(columnIndexForName(name));
}

std::optional<std::map<std::string, SqlValue>> FMResultSet::resultDict() {
  if (!onRow_ || !statement_ || sqlite3_data_count(statement_->statement()) == 0) {
    NBSQLLOG("Warning: There seem to be no columns in this set.");
    return std::nullopt;
  }
  setupColumnNames();
  std::map<std::string, SqlValue> row;
  for (const auto& [name, index] : columnNameToIndexMap_) row[name] = objectForColumnIndex(index);
  return row;
}

}  // namespace nb
