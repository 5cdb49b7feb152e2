#include "sync/SyncCenter.h"

#include "api/session/UserData.h"
#include "platform/Log.h"

namespace nb {

SyncCenter& SyncCenter::shareSyncCenter() {
  static SyncCenter center;
  return center;
}

void SyncCenter::setMessageStoreOpener(MessageStoreOpener opener) {
  std::lock_guard lock(mutex_);
  opener_ = std::move(opener);
}

bool SyncCenter::hasMessageStoreOpener() const {
  std::lock_guard lock(mutex_);
  return static_cast<bool>(opener_);
}

void SyncCenter::setinit() { setinit(UserData::shareUserData().getMessageDb()); }

void SyncCenter::setinit(const std::string& messageDbPath) {
  MessageStoreOpener opener;
  {
    std::lock_guard lock(mutex_);
    opener = opener_;
  }
  // Opened outside the lock: opening runs store jobs that may take a while.
  std::shared_ptr<MySqlite> store = opener ? opener(messageDbPath) : nullptr;
  if (!store) NBLOG_ERROR("SyncCenter could not open the message store {}", messageDbPath);
  {
    std::lock_guard lock(mutex_);
    messagedb_ = std::move(store);
  }
  bOut_ = false;
  bInit_ = true;
}

void SyncCenter::exit() {
  bOut_ = true;
  bInit_ = false;
  std::shared_ptr<MySqlite> store;
  {
    std::lock_guard lock(mutex_);
    store = std::move(messagedb_);
  }
  if (!store) return;
  if (const auto queue = store->dbQueue()) queue->setReopenAllowed(false);
  store->close();
}

std::shared_ptr<MySqlite> SyncCenter::messageStore() const {
  std::lock_guard lock(mutex_);
  return messagedb_;
}

}  // namespace nb
