#pragma once
// The one way a store reaches its file: a connection plus a serial queue.
// Each job runs on the calling thread, after every job submitted before it,
// with the connection; the caller waits until it finished. Two queues (two
// stores) run in parallel.
//
// A job must not submit to its own queue (directly or through another
// operation of the same store): such a call is refused and logged.

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "foundation/sqlite/FMDatabase.h"
#include "platform/SerialQueue.h"

namespace nb {

class FMDatabaseQueue {
 public:
  using Job = std::function<void(FMDatabase& db)>;
  using TransactionJob = std::function<void(FMDatabase& db, bool& rollback)>;

  // A queue with an open connection, or nullptr (logged "Could not create
  // database queue for path ...") when the file cannot be opened.
  static std::shared_ptr<FMDatabaseQueue> databaseQueueWithPath(const std::string& path);

  // Takes an open connection for `path`; prefer databaseQueueWithPath.
  FMDatabaseQueue(std::string path, std::unique_ptr<FMDatabase> db);
  FMDatabaseQueue(const FMDatabaseQueue&) = delete;
  FMDatabaseQueue& operator=(const FMDatabaseQueue&) = delete;

  // Runs `job` with the connection, reopening it first when `close` dropped
  // it. When the connection cannot be (re)opened the job still runs, with a
  // closed connection on which every statement fails, so reads give their
  // defaults and writes do nothing. False when the call was refused as
  // re-entry (the job did not run). Thread-safe.
  bool inDatabase(const Job& job);

  // Closes and drops the connection; the next job reopens it (without any
  // cipher key or schema work of the store). Thread-safe.
  void close();

  // Runs `job` inside an exclusive or deferred transaction; rolls back when
  // the job sets `rollback`, else commits. False as inDatabase.
  bool inTransaction(const TransactionJob& job);
  bool inDeferredTransaction(const TransactionJob& job);

  // A keyed store must not be reopened without its key: with reopening off,
  // jobs after `close` get the closed connection (and it is logged).
  void setReopenAllowed(bool allowed) { reopenAllowed_ = allowed; }

  const std::string& path() const { return path_; }

 private:
  FMDatabase& database();  // on the queue
  bool transaction(const TransactionJob& job, bool exclusive);

  const std::string path_;
  platform::SerialQueue queue_;
  std::unique_ptr<FMDatabase> db_;  // used only inside queue_ jobs; null after close
  FMDatabase closed_;               // never opened: stands in when db_ cannot be had
  std::atomic<bool> reopenAllowed_{true};
};

}  // namespace nb
