#pragma once
// The cursor answered by FMDatabase::executeQuery. It lives inside one store
// job, on that job's thread; its connection closes it if it is still open
// when the connection closes.
//
// Getters read the current row. Before the first row, after the end, on a
// closed set, for an unknown name or a position outside the row they answer
// 0, false or nullopt (NULL reads the same way), never touching SQLite.
// Lookups by name ignore case; where two result columns share a name the
// later one wins.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "foundation/sqlite/SqlValue.h"

namespace nb {

class FMDatabase;
class FMStatement;

class FMResultSet {
 public:
  // `parent` is not owned; it must outlive the set or detach it first.
  FMResultSet(std::unique_ptr<FMStatement> statement, FMDatabase* parent, std::string query);
  ~FMResultSet();  // closes
  FMResultSet(const FMResultSet&) = delete;
  FMResultSet& operator=(const FMResultSet&) = delete;

  // True when a row is current; false at the end or on an error, after which
  // the set has closed itself.
  bool next();
  // Finalizes the statement and tells the parent; closing again does nothing.
  void close();
  bool hasAnotherRow() const { return onRow_; }

  int columnCount() const;
  std::optional<std::string> columnNameForIndex(int index) const;
  // The position of `name`, or -1 (logged) when the result has no such column.
  int columnIndexForName(std::string_view name);

  int32_t intForColumn(std::string_view name);
  int32_t intForColumnIndex(int index) const;
  int64_t longForColumn(std::string_view name);
  int64_t longForColumnIndex(int index) const;
  int64_t longLongIntForColumn(std::string_view name) { return longForColumn(name); }
  int64_t longLongIntForColumnIndex(int index) const { return longForColumnIndex(index); }
  bool boolForColumn(std::string_view name);
  bool boolForColumnIndex(int index) const;
  double doubleForColumn(std::string_view name);
  double doubleForColumnIndex(int index) const;
  // nullopt for NULL (unlike the empty text); an integer reads in decimal.
  std::optional<std::string> stringForColumn(std::string_view name);
  std::optional<std::string> stringForColumnIndex(int index) const;
  std::optional<SqlBlob> dataForColumn(std::string_view name);
  std::optional<SqlBlob> dataForColumnIndex(int index) const;
  bool columnIsNull(std::string_view name);
  bool columnIndexIsNull(int index) const;
  // The value by its storage class (NULL for a position outside the row).
  SqlValue objectForColumnName(std::string_view name);
  SqlValue objectForColumnIndex(int index) const;
  // Every (lower-cased) column name to its value; nullopt without a row.
  std::optional<std::map<std::string, SqlValue>> resultDict();

  const std::string& query() const { return query_; }
  FMStatement* statement() const { return statement_.get(); }
  void setParentDB(FMDatabase* parent) { parentDB_ = parent; }

 private:
  bool readable(int index) const;
  void setupColumnNames();

  FMDatabase* parentDB_;  // not owned; null once closed or detached
  std::unique_ptr<FMStatement> statement_;
  std::string query_;
  std::unordered_map<std::string, int> columnNameToIndexMap_;
  bool columnNamesSetup_ = false;
  bool onRow_ = false;
};

}  // namespace nb
