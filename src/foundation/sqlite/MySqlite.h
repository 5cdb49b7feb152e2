#pragma once
// Base of every local store: the store's file path, its connection queue,
// the open sequence (create tables, upgrade them, check integrity, restore
// from the backup when damaged) and the two maintenance operations, backup
// to "<file>_old" and restore from it.
//
// A subclass adds its schema through createTable/updateTable and runs each
// of its operations as jobs through inDatabase. When the file cannot be
// opened the store has no queue: inDatabase runs nothing and answers false,
// so reads keep their defaults and writes are dropped.
//
// Thread-safety: every member may be called from any thread. init/setPath
// replace the queue; a job already running on the old queue finishes there.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "foundation/sqlite/FMDatabaseQueue.h"

namespace nb {

class MySqlite {
 public:
  MySqlite() = default;
  virtual ~MySqlite() = default;
  MySqlite(const MySqlite&) = delete;
  MySqlite& operator=(const MySqlite&) = delete;

  // The open sequence on `path`. A subclass calls it from its own
  // constructor body (or later), so that its hooks are the ones that run.
  // With `integrity` set a damaged file is restored from "<path>_old" (the
  // damaged file is kept as "<path>_error").
  void init(const std::string& path, bool integrity);
  // The same on an existing store, re-pointed at another file; keeps
  // ftBackupTime.
  void setPath(const std::string& path, bool integrity);

  // Hooks: the subclass creates its tables (the flag is the one given to the
  // open), then adds missing columns. Empty here.
  virtual void createTable(bool integrity);
  virtual void updateTable();

  // True when "pragma integrity_check" answers "ok"; false without a queue.
  bool checkIntegrity();
  // Copies a sound file to "<path>_old" (through a temporary file, so an
  // existing backup survives a failed copy) while holding the store's queue,
  // and stamps ftBackupTime whether or not a copy was made.
  void backup();
  // Writes a consistent copy of the store to `destination` (replacing it)
  // through SQLite's online backup, on the store's own connection, so writes
  // of other threads wait instead of tearing the copy. A store without a
  // connection is copied from its file through a connection of its own.
  // False, with nothing left at `destination`, when the copy failed.
  bool backupTo(const std::string& destination);
  // The same for a database file no store of this process has open.
  static bool backupFileTo(const std::string& path, const std::string& destination);
  // Closes the connection, sets the damaged file (and its -journal/-wal/-shm
  // files) aside as "<path>_error" and puts the backup in its place, keeping
  // a copy as "<path>_old_reset". Without a backup the path is left free and
  // the next open starts an empty database. The damaged file is never
  // deleted: when it cannot be set aside nothing is restored.
  void reset();
  // Closes the connection; the next job reopens it.
  void close();

  // Runs `job` on the store's queue; false when there is no queue or the
  // call re-entered the queue (the job did not run).
  bool inDatabase(const FMDatabaseQueue::Job& job);

  std::shared_ptr<FMDatabaseQueue> dbQueue() const;
  void setDbQueue(std::shared_ptr<FMDatabaseQueue> queue);
  std::string strFilePath() const;
  void setStrFilePath(std::string path);
  // Wall-clock seconds since 1970 of the last backup; 0 before the first.
  double ftBackupTime() const { return ftBackupTime_; }
  void setFtBackupTime(double seconds) { ftBackupTime_ = seconds; }

 protected:
  // Switches the store to a write-ahead log with commits that wait for no
  // disk flush: a commit is one append to the log instead of rewriting and
  // flushing a rollback journal and the file. The file stays consistent
  // whatever ends the process; a power cut may lose the last commits, never
  // tear one. For stores that are written row by row at a high rate and
  // can rebuild what a lost commit held (the sync and transfer stores).
  // The log mode stays with the file; the flush setting is the
  // connection's, so a reopened connection commits with full flushes again.
  void useWriteAheadLog();

 private:
  void openQueue(const std::string& path);

  mutable std::mutex mutex_;
  std::shared_ptr<FMDatabaseQueue> dbQueue_;  // guarded by mutex_; null without a file
  std::string strFilePath_;                   // guarded by mutex_
  std::atomic<double> ftBackupTime_{0.0};
};

}  // namespace nb
