#pragma once
// One connection to one SQLite (SQLCipher) database file.
//
// Not thread-safe: a connection is used by one thread at a time, which the
// store queue (FMDatabaseQueue) guarantees. Failures are answers (false,
// nullptr, 0), never exceptions; diagnostics go to the "sqlite" console
// logger (NBSQLLOG).
//
// Busy and locked answers are retried here, 20 us apart, without a limit by
// default (no busy handler is set inside SQLite); a wait longer than 10 s is
// logged once.
//
// Finished statements are kept, one per statement text, and reused by the
// next run of the same text.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include "foundation/sqlite/SqlValue.h"

struct sqlite3;

namespace nb {

class FMResultSet;
class FMStatement;
class PinyinCollator;

class FMDatabase {
 public:
  // A closed connection for `path`; nullopt means a private in-memory
  // database. Creation does not touch the file.
  explicit FMDatabase(std::optional<std::string> path);
  static std::unique_ptr<FMDatabase> databaseWithPath(std::optional<std::string> path);
  ~FMDatabase();  // closes
  FMDatabase(const FMDatabase&) = delete;
  FMDatabase& operator=(const FMDatabase&) = delete;

  // Opens (creating the file, not its folder) and registers the "pinyinasc"
  // and "pinyindesc" collations. True when open, also when it already was.
  bool open();
  // Opens with SQLite's open flags; no collations are registered this way.
  bool openWithFlags(int flags);
  // Closes open result sets and leaked statements, then the handle. False
  // only when a busy limit is set and reached (the handle stays open).
  bool close();

  // SQLCipher key of the open handle; false for an empty key or a refusal.
  // A wrong key is not detected here: later statements fail.
  bool setKey(const std::string& key);
  bool rekey(const std::string& key);

  // Runs the first statement of `sql` (the rest of the text is ignored) with
  // `args` bound to its "?" parameters in order; the number of values must
  // match the number of parameters. The ...WithParameterDictionary forms bind
  // each key to the parameter ":key". Query: a result set before its first row, or nullptr
  // on any failure; it must not outlive the job it was made in (the
  // connection closes it when the connection closes). Update: true when the
  // statement ran to completion; a statement that yields rows fails.
  std::unique_ptr<FMResultSet> executeQuery(std::string_view sql, const SqlArgs& args = {});
  std::unique_ptr<FMResultSet> executeQueryWithParameterDictionary(std::string_view sql,
                                                                   const SqlNamedArgs& args);
  bool executeUpdate(std::string_view sql, const SqlArgs& args = {});
  bool executeUpdateWithParameterDictionary(std::string_view sql, const SqlNamedArgs& args);
  // The form of every ordinary store write: up to three runs 0.5 s apart on
  // the calling thread, each retry logged "<sql> <retry index> <result>".
  bool executeUpdateRetry(std::string_view sql, const SqlArgs& args = {});

  bool beginTransaction();          // "begin exclusive transaction"
  bool beginDeferredTransaction();  // "begin deferred transaction"
  bool commit();                    // "commit transaction"
  bool rollback();                  // "rollback transaction"
  bool inTransaction() const { return inTransaction_; }

  const std::optional<std::string>& databasePath() const { return path_; }
  sqlite3* sqliteHandle() const { return db_; }
  bool goodConnection();

  std::string lastErrorMessage() const;
  int lastErrorCode() const;
  bool hadError() const;  // codes 1 to 99
  int64_t lastInsertRowId() const;
  int changes() const;

  bool hasOpenResultSets() const { return !openResultSets_.empty(); }
  // Called by a result set when it closes.
  void resultSetDidClose(FMResultSet* set) { openResultSets_.erase(set); }
  // Takes back a finished statement: it is reset, unbound and kept for the
  // next run of the same text (one idle statement per text, at most
  // kMaxCachedStatements), else finalized.
  void recycleStatement(std::unique_ptr<FMStatement> statement);
  static constexpr size_t kMaxCachedStatements = 64;

  // 0 (the default) means busy waits have no limit.
  int busyRetryTimeout() const { return busyRetryTimeout_; }
  void setBusyRetryTimeout(int retries) { busyRetryTimeout_ = retries; }
  // When set, a failing prepare is logged (off by default: schema upgrades
  // rely on a silent failure of ALTER TABLE on an existing column).
  void setLogsErrors(bool on) { logsErrors_ = on; }

  static std::string sqliteLibVersion();
  static bool isSQLiteThreadSafe();

 private:
  // Steps 1 to 6 of a statement run: checks, prepare (busy rule), bind. On
  // success the in-use flag is set; the caller clears it.
  std::unique_ptr<FMStatement> prepareAndBind(std::string_view sql, const SqlArgs* args,
                                              const SqlNamedArgs* named, const char* kind);
  bool bindNamed(FMStatement& statement, const SqlNamedArgs& args, std::string_view sql,
                 const char* kind);
  std::unique_ptr<FMResultSet> query(std::string_view sql, const SqlArgs* args,
                                     const SqlNamedArgs* named);
  bool update(std::string_view sql, const SqlArgs* args, const SqlNamedArgs* named);
  int stepUpdate(FMStatement& statement);
  // An idle prepared statement of `sql`, ready to bind, or nullptr.
  std::unique_ptr<FMStatement> takeCachedStatement(std::string_view sql);
  std::string name() const;
  bool registerCollations();

  const std::optional<std::string> path_;
  sqlite3* db_ = nullptr;  // owned; null while closed
  std::unique_ptr<PinyinCollator> collator_;
  bool logsErrors_ = false;
  bool isExecutingStatement_ = false;
  bool inTransaction_ = false;
  int busyRetryTimeout_ = 0;
  std::set<FMResultSet*> openResultSets_;  // not owned; each removes itself on close
  // Preparing is a large part of a small statement's cost; every store runs
  // the same few texts over and over. Emptied before the handle closes.
  std::unordered_map<std::string, std::unique_ptr<FMStatement>> cachedStatements_;
};

}  // namespace nb
