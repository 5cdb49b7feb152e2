#include "platform/OperationQueue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/Log.h"

namespace nb::platform {
namespace {

class BlockOperation final : public Operation {
 public:
  explicit BlockOperation(std::function<void()> block) : block_(std::move(block)) {}

 protected:
  void main() override { block_(); }

 private:
  std::function<void()> block_;
};

size_t effectiveWidth(int count) {
  if (count >= 0) return static_cast<size_t>(count);
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace

namespace detail {

// The queue's state, shared with its operations (weakly) so that an operation
// finishing after its queue went away finds nothing to tell.
class OperationQueueCore {
 public:
  explicit OperationQueueCore(int width) : width_(width) {}

  bool add(std::shared_ptr<Operation> operation);
  void setWidth(int width);
  int width() const;
  void setSuspended(bool suspended);
  bool suspended() const;
  void cancelAll();
  void waitUntilEmpty();
  size_t count() const;
  void stopWorkers();
  void finished(Operation& operation);

 private:
  std::deque<std::shared_ptr<Operation>>::iterator nextLocked();
  bool canStartLocked();
  void spawnWorkersLocked();
  void work();
  void run(const std::shared_ptr<Operation>& operation);

  mutable std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable allFinished_;
  std::deque<std::shared_ptr<Operation>> pending_;                    // guarded by mutex_
  std::unordered_map<Operation*, std::shared_ptr<Operation>> started_;  // guarded by mutex_
  size_t count_ = 0;  // guarded by mutex_: added and not finished
  size_t idle_ = 0;   // guarded by mutex_: threads not inside an operation's main()
  int width_;         // guarded by mutex_
  bool suspended_ = false;
  bool stopping_ = false;
  std::vector<std::thread> workers_;  // guarded by mutex_
};

void operationFinished(OperationQueueCore& queue, Operation& operation) {
  queue.finished(operation);
}

bool OperationQueueCore::add(std::shared_ptr<Operation> operation) {
  std::lock_guard lock(mutex_);
  // After every waiting operation of the same or a higher priority.
  const int priority = operation->queuePriority();
  auto place = std::find_if(pending_.begin(), pending_.end(), [priority](const auto& waiting) {
    return waiting->queuePriority() < priority;
  });
  pending_.insert(place, std::move(operation));
  ++count_;
  spawnWorkersLocked();
  return true;
}

void OperationQueueCore::setWidth(int width) {
  std::lock_guard lock(mutex_);
  width_ = width;
  spawnWorkersLocked();
}

int OperationQueueCore::width() const {
  std::lock_guard lock(mutex_);
  return width_;
}

void OperationQueueCore::setSuspended(bool suspended) {
  std::lock_guard lock(mutex_);
  suspended_ = suspended;
  spawnWorkersLocked();
}

bool OperationQueueCore::suspended() const {
  std::lock_guard lock(mutex_);
  return suspended_;
}

void OperationQueueCore::cancelAll() {
  std::deque<std::shared_ptr<Operation>> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(pending_);
    for (auto& [raw, operation] : started_) operation->cancel();
    // Still counted until marked finished below, so no waiter wakes early.
  }
  for (auto& operation : dropped) {
    operation->cancel();
    operation->markFinished();
  }
  std::lock_guard lock(mutex_);
  count_ -= dropped.size();
  allFinished_.notify_all();
}

void OperationQueueCore::waitUntilEmpty() {
  std::unique_lock lock(mutex_);
  allFinished_.wait(lock, [&] { return count_ == 0; });
}

size_t OperationQueueCore::count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

void OperationQueueCore::stopWorkers() {
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    workers.swap(workers_);
  }
  workReady_.notify_all();
  for (auto& worker : workers) worker.join();
}

void OperationQueueCore::finished(Operation& operation) {
  std::shared_ptr<Operation> last;  // released after unlocking: its destructor is foreign code
  std::lock_guard lock(mutex_);
  auto found = started_.find(&operation);
  if (found == started_.end()) {
    auto waiting = std::find_if(pending_.begin(), pending_.end(),
                                [&](const auto& p) { return p.get() == &operation; });
    if (waiting == pending_.end()) return;
    last = std::move(*waiting);
    pending_.erase(waiting);
  } else {
    last = std::move(found->second);
    started_.erase(found);
  }
  --count_;
  spawnWorkersLocked();
  allFinished_.notify_all();
}

// The first waiting operation that may start now: a cancelled one (it only
// leaves the queue) or, while a slot is free, one whose dependencies ended.
std::deque<std::shared_ptr<Operation>>::iterator OperationQueueCore::nextLocked() {
  if (suspended_) return pending_.end();
  const bool slotFree = started_.size() < effectiveWidth(width_);
  return std::find_if(pending_.begin(), pending_.end(), [slotFree](const auto& operation) {
    return operation->isCancelled() || (slotFree && operation->isReady());
  });
}

bool OperationQueueCore::canStartLocked() {
  return nextLocked() != pending_.end();
}

// Makes sure enough threads wait for the operations that may start now.
void OperationQueueCore::spawnWorkersLocked() {
  if (stopping_ || suspended_) return;
  const size_t width = effectiveWidth(width_);
  const size_t freeSlots = width > started_.size() ? width - started_.size() : 0;
  const size_t wanted = std::min(pending_.size(), freeSlots);
  while (idle_ < wanted) {
    try {
      workers_.emplace_back([this] { work(); });
      ++idle_;
    } catch (const std::system_error& e) {
      NBLOG_ERROR("operation queue cannot start a thread: {}", e.what());
      break;
    }
  }
  workReady_.notify_all();
}

void OperationQueueCore::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    workReady_.wait(lock, [&] { return stopping_ || canStartLocked(); });
    if (stopping_) return;
    const auto next = nextLocked();
    auto operation = std::move(*next);
    pending_.erase(next);
    if (operation->isCancelled()) {
      // Cancelled while waiting: it never starts.
      operation->markFinished();
      --count_;
      allFinished_.notify_all();
      lock.unlock();
      operation.reset();
      lock.lock();
      continue;
    }
    started_.emplace(operation.get(), operation);
    --idle_;
    lock.unlock();
    run(operation);
    operation.reset();
    lock.lock();
    ++idle_;
  }
}

void OperationQueueCore::run(const std::shared_ptr<Operation>& operation) {
  operation->executing_.store(true);
  try {
    operation->main();
  } catch (const std::exception& e) {
    NBLOG_ERROR("operation threw, dropped: {}", e.what());
    operation->finish();
  } catch (...) {
    NBLOG_ERROR("operation threw a non-standard exception, dropped");
    operation->finish();
  }
  if (!operation->isConcurrent()) operation->finish();
}

}  // namespace detail

OperationQueue::OperationQueue(int maxConcurrentOperationCount)
    : core_(std::make_shared<detail::OperationQueueCore>(maxConcurrentOperationCount)) {}

OperationQueue::~OperationQueue() {
  core_->cancelAll();
  core_->waitUntilEmpty();
  core_->stopWorkers();
}

bool OperationQueue::addOperation(std::shared_ptr<Operation> operation) {
  if (!operation) {
    NBLOG_ERROR("refused to queue no operation");
    return false;
  }
  {
    std::lock_guard lock(operation->queueMutex_);
    if (operation->enqueued_ || operation->isFinished()) {
      NBLOG_ERROR("refused to queue an operation that was already queued or finished");
      return false;
    }
    operation->enqueued_ = true;
    operation->queue_ = core_;
  }
  return core_->add(std::move(operation));
}

std::shared_ptr<Operation> OperationQueue::addOperation(std::function<void()> block) {
  if (!block) return nullptr;
  auto operation = std::make_shared<BlockOperation>(std::move(block));
  addOperation(operation);
  return operation;
}

void OperationQueue::setMaxConcurrentOperationCount(int count) { core_->setWidth(count); }

int OperationQueue::maxConcurrentOperationCount() const { return core_->width(); }

void OperationQueue::setSuspended(bool suspended) { core_->setSuspended(suspended); }

bool OperationQueue::isSuspended() const { return core_->suspended(); }

void OperationQueue::cancelAllOperations() { core_->cancelAll(); }

void OperationQueue::waitUntilAllOperationsAreFinished() { core_->waitUntilEmpty(); }

size_t OperationQueue::operationCount() const { return core_->count(); }

}  // namespace nb::platform
