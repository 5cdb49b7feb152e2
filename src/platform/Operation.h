#pragma once
// One unit of work for an OperationQueue.
//
// A plain operation's slot in the queue is free again when main() returns.
// A concurrent operation (isConcurrent() answers true) only starts its work
// in main() and keeps its slot until it calls finish(), possibly from another
// thread later; such an operation must also call finish() when cancelled.
//
// Cancelling is advisory: an operation still waiting in its queue never
// starts; a running one sees isCancelled() and ends early if it can.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace nb::platform {

class Operation;
class OperationQueue;

namespace detail {
class OperationQueueCore;
// Frees the slot of `operation`, which just finished (OperationQueue.cpp).
void operationFinished(OperationQueueCore& queue, Operation& operation);
}  // namespace detail

class Operation {
 public:
  Operation() = default;
  virtual ~Operation() = default;
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  // Safe from any thread; repeated calls change nothing.
  void cancel();
  bool isCancelled() const { return cancelled_.load(); }
  // True from the moment its queue starts it until it finished.
  bool isExecuting() const { return executing_.load(); }
  // True once it ran to its end, or was dropped from its queue by a cancel.
  bool isFinished() const { return finished_.load(); }

  virtual bool isConcurrent() const { return false; }

  // Among the operations waiting in a queue, a higher priority starts first;
  // equal priorities start in the order they were added. Set it before the
  // operation is added (later changes do not move it). Default 0.
  void setQueuePriority(int priority) { queuePriority_.store(priority); }
  int queuePriority() const { return queuePriority_.load(); }

  // This operation starts only once `other` finished (run or dropped). Add
  // dependencies before the operation is added to its queue, and keep both
  // in one queue: that queue looks again when one of its operations ends.
  void addDependency(std::shared_ptr<Operation> other);
  // Every dependency finished (or none was added).
  bool isReady() const;

  // Ends the operation and frees its queue slot. Safe from any thread; the
  // first call counts. A plain operation's queue calls it after main().
  void finish();

 protected:
  // The work, on one of the queue's threads. An exception escaping it is
  // caught, logged and dropped, and the operation finishes.
  virtual void main() = 0;

 private:
  friend class OperationQueue;
  friend class detail::OperationQueueCore;

  // Sets the finished state; answers whether this call was the first.
  bool markFinished();

  std::atomic<bool> cancelled_ = false;
  std::atomic<bool> executing_ = false;
  std::atomic<bool> finished_ = false;
  std::atomic<int> queuePriority_ = 0;
  mutable std::mutex dependencyMutex_;
  std::vector<std::shared_ptr<Operation>> dependencies_;  // guarded by dependencyMutex_
  std::mutex queueMutex_;
  std::weak_ptr<detail::OperationQueueCore> queue_;  // guarded by queueMutex_
  bool enqueued_ = false;                            // guarded by queueMutex_
};

}  // namespace nb::platform
