#include "foundation/sqlite/FMDatabaseQueue.h"

#include <fmt/format.h>

#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "platform/Log.h"

namespace nb {

std::shared_ptr<FMDatabaseQueue> FMDatabaseQueue::databaseQueueWithPath(const std::string& path) {
  auto db = FMDatabase::databaseWithPath(path);
  if (!db->open()) {
    NBSQLLOG("Could not create database queue for path {}", path);
    return nullptr;
  }
  return std::make_shared<FMDatabaseQueue>(path, std::move(db));
}

FMDatabaseQueue::FMDatabaseQueue(std::string path, std::unique_ptr<FMDatabase> db)
    : path_(std::move(path)),
      queue_(fmt::format("fmdb.FMDatabaseQueue {}", static_cast<const void*>(this))),
      db_(std::move(db)),
      closed_(path_) {}

FMDatabase& FMDatabaseQueue::database() {
  if (db_) return *db_;
  if (!reopenAllowed_) {
    NBSQLLOG("FMDatabaseQueue will not reopen a keyed database without its key: {}", path_);
    return closed_;
  }
  auto db = FMDatabase::databaseWithPath(path_);
  if (!db->open()) {
    NBSQLLOG("FMDatabaseQueue could not reopen database for path {}", path_);
    return closed_;
  }
  db_ = std::move(db);
  return *db_;
}

bool FMDatabaseQueue::inDatabase(const Job& job) {
  return queue_.sync([&] {
    FMDatabase& db = database();
    job(db);
    if (db.hasOpenResultSets()) {
      NBSQLLOG("Warning: there is at least one open result set around after performing "
               "[FMDatabaseQueue inDatabase:]");
    }
  });
}

void FMDatabaseQueue::close() {
  queue_.sync([&] { db_.reset(); });
}

bool FMDatabaseQueue::transaction(const TransactionJob& job, bool exclusive) {
  return inDatabase([&](FMDatabase& db) { runInTransaction(db, job, exclusive); });
}

bool FMDatabaseQueue::inTransaction(const TransactionJob& job) { return transaction(job, true); }

bool FMDatabaseQueue::inDeferredTransaction(const TransactionJob& job) {
  return transaction(job, false);
}

}  // namespace nb
