#pragma once
// Statement patterns the catalogue store's operations share: the
// read-then-write upsert (batches: stores/common/StoreBatch.h). Internal to
// the stores layer; run them inside a store job.

#include <string_view>
#include <type_traits>
#include <vector>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"
#include "foundation/sqlite/MySqlite.h"

namespace nb::mountsdb {

// One statement with its bound values.
struct Bound {
  std::string_view sql;
  SqlArgs args;
};

// Whether `select` yields a row. The whole result is stepped through and
// closed, so a following write meets no open statement; a failed query
// counts as no row.
inline bool hasRow(FMDatabase& db, const Bound& select) {
  auto set = db.executeQuery(select.sql, select.args);
  if (!set) return false;
  bool found = false;
  while (set->next()) found = true;
  return found;
}

// One job on `store`: every row of `sql` made into a record by `read`, in row
// order; empty when nothing matches or the query fails.
template <typename Read>
auto selectAll(MySqlite& store, std::string_view sql, const SqlArgs& args, Read read) {
  std::vector<std::invoke_result_t<Read, FMResultSet&>> records;
  store.inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery(sql, args);
    while (set && set->next()) records.push_back(read(*set));
  });
  return records;
}

// One job on `store`: a single write through the retrying update.
inline void write(MySqlite& store, std::string_view sql, const SqlArgs& args = {}) {
  store.inDatabase([&](FMDatabase& db) { db.executeUpdateRetry(sql, args); });
}

// Runs `update` when `select` finds a row, else `insert`, both through the
// retrying update. Callers run it inside one job, so no other statement of
// the store comes between the read and the write.
inline void upsert(FMDatabase& db, const Bound& select, const Bound& update, const Bound& insert) {
  const Bound& write = hasRow(db, select) ? update : insert;
  db.executeUpdateRetry(write.sql, write.args);
}

}  // namespace nb::mountsdb
