#pragma once
// A small pool of threads that runs operations, at most
// maxConcurrentOperationCount() at a time, by priority and then in the order
// they were added.
// The width can change at any time: a wider queue starts waiting operations
// at once, a narrower one lets running operations end and starts no more
// until it is under its width.
//
// Threads are made on demand, never more than the widest width the queue
// had, and live until the queue is destroyed. All members are safe from any
// thread, except that an operation of this queue must not wait for the queue
// or destroy it.

#include <functional>
#include <memory>

#include "platform/Operation.h"

namespace nb::platform {

class OperationQueue {
 public:
  // Width -1 means one slot per hardware thread; 0 starts nothing.
  static constexpr int kDefaultMaxConcurrentOperationCount = -1;

  explicit OperationQueue(int maxConcurrentOperationCount = kDefaultMaxConcurrentOperationCount);
  // Cancels every operation, waits until all finished (concurrent ones must
  // call finish() when cancelled) and joins the threads.
  ~OperationQueue();
  OperationQueue(const OperationQueue&) = delete;
  OperationQueue& operator=(const OperationQueue&) = delete;

  // Queues `operation`; the queue keeps it until it finished. Answers false
  // (and logs) for nothing, or an operation already given to a queue.
  bool addOperation(std::shared_ptr<Operation> operation);
  // Queues a plain operation that runs `block`; answers it (nothing for an
  // empty block).
  std::shared_ptr<Operation> addOperation(std::function<void()> block);

  void setMaxConcurrentOperationCount(int count);
  int maxConcurrentOperationCount() const;

  // A suspended queue starts no operation; running ones go on.
  void setSuspended(bool suspended);
  bool isSuspended() const;

  // Cancels every operation: those still waiting finish at once without
  // starting, running ones see isCancelled().
  void cancelAllOperations();

  // Blocks until every operation added so far (and any added meanwhile)
  // finished.
  void waitUntilAllOperationsAreFinished();

  // Operations added and not yet finished.
  size_t operationCount() const;

 private:
  std::shared_ptr<detail::OperationQueueCore> core_;
};

}  // namespace nb::platform
