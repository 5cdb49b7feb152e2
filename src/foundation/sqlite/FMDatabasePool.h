#pragma once
// A pool of connections to one file, handed out one per job. No store uses
// it: stores go through FMDatabaseQueue, which serialises their writes.
// Thread-safe.

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/sqlite/FMDatabase.h"

namespace nb {

class FMDatabasePool {
 public:
  // Asked before a newly opened connection joins the pool; false closes it.
  using ShouldAdd = std::function<bool(FMDatabase& db)>;

  explicit FMDatabasePool(std::string path);
  static std::unique_ptr<FMDatabasePool> databasePoolWithPath(std::string path);

  // 0 (the default) means no limit.
  void setMaximumNumberOfDatabasesToCreate(size_t limit);
  void setDelegate(ShouldAdd shouldAdd);

  // The most recently returned idle connection, or a new open one; nullptr
  // at the limit, when the file cannot be opened or when the delegate says no.
  std::shared_ptr<FMDatabase> db();
  // Returns a handed-out connection; one that is already idle is logged and
  // left alone.
  void pushDatabaseBackInPool(const std::shared_ptr<FMDatabase>& db);

  // Take a connection, run the job, give it back. False when no connection
  // could be had (the job did not run).
  bool inDatabase(const std::function<void(FMDatabase& db)>& job);
  bool inTransaction(const std::function<void(FMDatabase& db, bool& rollback)>& job);
  bool inDeferredTransaction(const std::function<void(FMDatabase& db, bool& rollback)>& job);

  size_t countOfCheckedInDatabases() const;
  size_t countOfCheckedOutDatabases() const;
  size_t countOfOpenDatabases() const;
  // Forgets every connection (idle ones close now, handed-out ones when
  // their holders let go).
  void releaseAllDatabases();

  const std::string& path() const { return path_; }

 private:
  bool transaction(const std::function<void(FMDatabase& db, bool& rollback)>& job,
                   bool exclusive);

  const std::string path_;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<FMDatabase>> databaseInPool_;   // guarded by mutex_
  std::vector<std::shared_ptr<FMDatabase>> databaseOutPool_;  // guarded by mutex_
  size_t maximumNumberOfDatabasesToCreate_ = 0;               // guarded by mutex_
  ShouldAdd delegate_;                                        // guarded by mutex_
};

}  // namespace nb
