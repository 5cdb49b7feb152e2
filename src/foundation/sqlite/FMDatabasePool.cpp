#include "foundation/sqlite/FMDatabasePool.h"

#include <algorithm>

#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "platform/Log.h"

namespace nb {

namespace {

bool contains(const std::vector<std::shared_ptr<FMDatabase>>& list,
              const std::shared_ptr<FMDatabase>& db) {
  return std::find(list.begin(), list.end(), db) != list.end();
}

}  // namespace

FMDatabasePool::FMDatabasePool(std::string path) : path_(std::move(path)) {}

std::unique_ptr<FMDatabasePool> FMDatabasePool::databasePoolWithPath(std::string path) {
  return std::make_unique<FMDatabasePool>(std::move(path));
}

void FMDatabasePool::setMaximumNumberOfDatabasesToCreate(size_t limit) {
  std::lock_guard lock(mutex_);
  maximumNumberOfDatabasesToCreate_ = limit;
}

void FMDatabasePool::setDelegate(ShouldAdd shouldAdd) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(shouldAdd);
}

std::shared_ptr<FMDatabase> FMDatabasePool::db() {
  std::lock_guard lock(mutex_);
  std::shared_ptr<FMDatabase> db;
  if (!databaseInPool_.empty()) {
    db = databaseInPool_.back();
    databaseInPool_.pop_back();
  } else {
    const size_t open = databaseInPool_.size() + databaseOutPool_.size();
    if (maximumNumberOfDatabasesToCreate_ != 0 && open >= maximumNumberOfDatabasesToCreate_) {
      NBSQLLOG("Maximum number of databases ({}) has already been reached!", open);
      return nullptr;
    }
    db = FMDatabase::databaseWithPath(path_);
  }
  if (!db->open()) {
    NBSQLLOG("Could not open up the database at path {}", path_);
    return nullptr;
  }
  if (delegate_ && !delegate_(*db)) {
    db->close();
    return nullptr;
  }
  databaseOutPool_.push_back(db);
  return db;
}

void FMDatabasePool::pushDatabaseBackInPool(const std::shared_ptr<FMDatabase>& db) {
  if (!db) return;
  std::lock_guard lock(mutex_);
  if (contains(databaseInPool_, db)) {
    NBSQLLOG("Database already in pool: The FMDatabase being put back into the pool is already "
             "present in the pool");
    return;
  }
  std::erase(databaseOutPool_, db);
  databaseInPool_.push_back(db);
}

bool FMDatabasePool::inDatabase(const std::function<void(FMDatabase& db)>& job) {
  auto db = this->db();
  if (!db) return false;
  job(*db);
  pushDatabaseBackInPool(db);
  return true;
}

bool FMDatabasePool::transaction(
    const std::function<void(FMDatabase& db, bool& rollback)>& job, bool exclusive) {
  return inDatabase([&](FMDatabase& db) { runInTransaction(db, job, exclusive); });
}

bool FMDatabasePool::inTransaction(
    const std::function<void(FMDatabase& db, bool& rollback)>& job) {
  return transaction(job, true);
}

bool FMDatabasePool::inDeferredTransaction(
    const std::function<void(FMDatabase& db, bool& rollback)>& job) {
  return transaction(job, false);
}

size_t FMDatabasePool::countOfCheckedInDatabases() const {
  std::lock_guard lock(mutex_);
  return databaseInPool_.size();
}

size_t FMDatabasePool::countOfCheckedOutDatabases() const {
  std::lock_guard lock(mutex_);
  return databaseOutPool_.size();
}

size_t FMDatabasePool::countOfOpenDatabases() const {
  std::lock_guard lock(mutex_);
  return databaseInPool_.size() + databaseOutPool_.size();
}

void FMDatabasePool::releaseAllDatabases() {
  std::lock_guard lock(mutex_);
  databaseInPool_.clear();
  databaseOutPool_.clear();
}

}  // namespace nb
