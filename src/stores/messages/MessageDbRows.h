#pragma once
// Row reading and job helpers shared by the message store's source files.

#include <string>
#include <string_view>
#include <vector>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"

namespace nb::messagedb {

inline std::string text(FMResultSet& set, std::string_view column) {
  return set.stringForColumn(column).value_or(std::string());
}

// True when the query gives at least one row; closes what it opened.
inline bool hasRow(FMDatabase& db, std::string_view sql, const SqlArgs& args) {
  auto set = db.executeQuery(sql, args);
  const bool found = set && set->next();
  if (set) set->close();
  return found;
}

// Every row of the query, each read by `read` into a fresh record.
template <typename Record, typename Read>
std::vector<Record> readAll(FMDatabase& db, std::string_view sql, const SqlArgs& args, Read read) {
  std::vector<Record> records;
  auto set = db.executeQuery(sql, args);
  while (set && set->next()) records.push_back(read(*set));
  return records;
}

}  // namespace nb::messagedb
