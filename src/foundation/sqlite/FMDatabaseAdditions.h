#pragma once
// Single-value and schema queries on a connection, and the transaction
// wrapper shared by the queue and the pool. Same thread rules as FMDatabase.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"

namespace nb {

// The first column of the first row; nullopt / 0 / false when there is no
// row or the query fails.
std::optional<std::string> stringForQuery(FMDatabase& db, std::string_view sql,
                                          const SqlArgs& args = {});
int32_t intForQuery(FMDatabase& db, std::string_view sql, const SqlArgs& args = {});
int64_t longForQuery(FMDatabase& db, std::string_view sql, const SqlArgs& args = {});
bool boolForQuery(FMDatabase& db, std::string_view sql, const SqlArgs& args = {});
double doubleForQuery(FMDatabase& db, std::string_view sql, const SqlArgs& args = {});
std::optional<SqlBlob> dataForQuery(FMDatabase& db, std::string_view sql,
                                    const SqlArgs& args = {});

// Whether a table of that name (case ignored) exists.
bool tableExists(FMDatabase& db, std::string_view table);
// Every schema object: type, name, tbl_name, rootpage, sql.
std::unique_ptr<FMResultSet> getSchema(FMDatabase& db);
// One row per column of `table` (cid, name, type, notnull, dflt_value, pk).
std::unique_ptr<FMResultSet> getTableSchema(FMDatabase& db, std::string_view table);
bool columnExists(FMDatabase& db, std::string_view table, std::string_view column);
// Whether `sql` prepares; on failure `error` (when given) gets SQLite's message.
bool validateSQL(FMDatabase& db, std::string_view sql, std::string* error = nullptr);

// Begins an exclusive (or deferred) transaction, runs `job` and rolls back
// when the job set its flag, else commits. The job does not run when the
// transaction cannot begin.
using TransactionJob = std::function<void(FMDatabase& db, bool& rollback)>;
void runInTransaction(FMDatabase& db, const TransactionJob& job, bool exclusive);

}  // namespace nb
