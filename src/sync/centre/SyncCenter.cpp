#include "sync/centre/SyncCenter.h"

#include <algorithm>
#include <stop_token>

#include "api/session/UserData.h"
#include "platform/Log.h"
#include "platform/StoppableThread.h"
#include "sync/centre/CentrePasses.h"
#include "sync/centre/CoordinatorLoop.h"
#include "sync/centre/SyncManager.h"
#include "sync/local/Directoryhandler.h"

namespace nb {

struct SyncCenter::Coordinator {
  explicit Coordinator(SyncCenter& center)
      : passes(center, stop.get_token()), loop(passes) {}
  // Destroying a coordinator joins its thread; only the next session's
  // coordinator thread or the process end does that.
  ~Coordinator() { requestStop(); }

  void requestStop() {
    stop.request_stop();
    if (thread) thread->requestStop();
  }

  std::stop_source stop;
  CentrePasses passes;
  CoordinatorLoop loop;
  std::unique_ptr<platform::StoppableThread> thread;  // null for a thread-less session
  std::mutex passMutex;  // thread-less passes, one at a time
  bool begun = false;    // guarded by passMutex
};

SyncCenter& SyncCenter::shareSyncCenter() {
  static SyncCenter center;
  return center;
}

SyncCenter::SyncCenter() = default;

SyncCenter::~SyncCenter() {
  std::shared_ptr<Coordinator> last;
  std::vector<std::shared_ptr<Coordinator>> retired;
  {
    std::lock_guard lock(mutex_);
    last = std::move(coordinator_);
    retired.swap(retired_);
  }
  if (last) last->requestStop();
}

void SyncCenter::setinit() { setinit(UserData::shareUserData().getMessageDb()); }

void SyncCenter::setinit(const std::string& messageDbPath, bool coordinatorThread) {
  bOut_ = false;
  bFirst_ = true;
  bCompareNow_ = false;
  bRegetServer_ = false;
  bInit_ = false;
  setStrOldRename({});
  // Opened outside the lock: opening runs store jobs that may take a while.
  std::shared_ptr<MessageDb> store = MessageDb::initpath(messageDbPath);
  if (!store->dbQueue()) {
    NBLOG_ERROR("SyncCenter could not open the message store {}", messageDbPath);
    store.reset();
  }
  {
    std::lock_guard lock(mutex_);
    messagedb_ = std::move(store);
  }
  std::shared_ptr<Coordinator> next = startCoordinator(coordinatorThread);
  std::lock_guard lock(mutex_);
  coordinator_ = std::move(next);
}

// The new thread waits for the previous session's coordinator before its
// first pass, so at most one runs; the caller (the main thread) never waits.
std::shared_ptr<SyncCenter::Coordinator> SyncCenter::startCoordinator(bool thread) {
  std::shared_ptr<Coordinator> previous;
  {
    std::lock_guard lock(mutex_);
    previous = std::move(coordinator_);
  }
  if (previous) previous->requestStop();
  auto next = std::make_shared<Coordinator>(*this);
  if (!thread) {
    // Dropping it here would join its thread on the caller's.
    if (previous && previous->thread) {
      std::lock_guard lock(mutex_);
      retired_.push_back(std::move(previous));
    }
    return next;
  }
  Coordinator* self = next.get();
  next->thread = std::make_unique<platform::StoppableThread>(
      "nb-coordinator", [self, previous](platform::StoppableThread& me) mutable {
        if (previous) {
          if (previous->thread) previous->thread->join();
          previous.reset();
        }
        self->loop.run(me);
      });
  return next;
}

bool SyncCenter::coordinatorPass() {
  std::shared_ptr<Coordinator> coordinator;
  {
    std::lock_guard lock(mutex_);
    coordinator = coordinator_;
  }
  if (!coordinator || coordinator->thread || coordinator->stop.stop_requested()) return false;
  std::lock_guard lock(coordinator->passMutex);
  if (!coordinator->begun) {
    coordinator->begun = true;
    if (!coordinator->loop.begin()) return false;
  }
  return coordinator->loop.pass() != CoordinatorLoop::PassEnd::kStop;
}

void SyncCenter::joinCoordinator() {
  std::shared_ptr<Coordinator> coordinator;
  std::vector<std::shared_ptr<Coordinator>> retired;
  {
    std::lock_guard lock(mutex_);
    coordinator = coordinator_;
    retired.swap(retired_);
  }
  retired.clear();  // each joins its thread
  if (coordinator && coordinator->thread) coordinator->thread->join();
}

void SyncCenter::exit() {
  bOut_ = true;
  bInit_ = false;
  std::vector<std::shared_ptr<SyncManager>> managers;
  std::vector<std::shared_ptr<Directoryhandler>> handlers;
  std::shared_ptr<MessageDb> store;
  {
    std::lock_guard lock(mutex_);
    if (coordinator_) coordinator_->requestStop();
    managers.swap(synclist_);
    handlers.swap(handlerlist_);
    store = std::move(messagedb_);
  }
  for (const auto& manager : managers) manager->exit();
  // Watchers would otherwise go on handing events to exited managers, and a
  // later session linking the same root would reuse them.
  for (const auto& handler : handlers) handler->stopMonitoring();
  if (!store) return;
  if (const auto queue = store->dbQueue()) queue->setReopenAllowed(false);
  store->close();
}

std::shared_ptr<MessageDb> SyncCenter::messagedb() const {
  std::lock_guard lock(mutex_);
  return messagedb_;
}

std::shared_ptr<SyncManager> SyncCenter::GetSyncManager(int64_t mountId) const {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(synclist_.begin(), synclist_.end(),
                               [&](const auto& m) { return m->_nMountID() == mountId; });
  return it == synclist_.end() ? nullptr : *it;
}

std::shared_ptr<SyncManager> SyncCenter::GetSyncManagerByOrgid(int64_t orgId) const {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(synclist_.begin(), synclist_.end(),
                               [&](const auto& m) { return m->_nOrgID() == orgId; });
  return it == synclist_.end() ? nullptr : *it;
}

void SyncCenter::RemoveSyncManager(int64_t mountId) {
  std::shared_ptr<SyncManager> removed;
  {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(synclist_.begin(), synclist_.end(),
                                 [&](const auto& m) { return m->_nMountID() == mountId; });
    if (it == synclist_.end()) return;
    removed = *it;
    synclist_.erase(it);
  }
  removed->exit();
}

std::vector<std::shared_ptr<SyncManager>> SyncCenter::synclist() const {
  std::lock_guard lock(mutex_);
  return synclist_;
}

std::string SyncCenter::strOldRename() const {
  std::lock_guard lock(mutex_);
  return strOldRename_;
}

void SyncCenter::setStrOldRename(std::string path) {
  std::lock_guard lock(mutex_);
  strOldRename_ = std::move(path);
}

}  // namespace nb
