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
  std::mutex queueMutex_;
  std::weak_ptr<detail::OperationQueueCore> queue_;  // guarded by queueMutex_
  bool enqueued_ = false;                            // guarded by queueMutex_
};

}  // namespace nb::platform
