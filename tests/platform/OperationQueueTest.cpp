#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/OperationQueue.h"

namespace nb::platform {
namespace {

using namespace std::chrono_literals;

// Operations that hold until the test opens the gate, counting how many run
// at once. Waits here are bounded only as a safety net against hangs.
class Gate {
 public:
  std::function<void()> job() {
    return [this] {
      std::unique_lock lock(mutex_);
      ++started_;
      ++running_;
      peak_ = std::max(peak_, running_);
      changed_.notify_all();
      changed_.wait(lock, [&] { return open_; });
      --running_;
    };
  }
  bool waitStarted(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 30s, [&] { return started_ >= count; });
  }
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  int started() {
    std::lock_guard lock(mutex_);
    return started_;
  }
  int peak() {
    std::lock_guard lock(mutex_);
    return peak_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  int started_ = 0;
  int running_ = 0;
  int peak_ = 0;
};

// Starts its work in main() and ends when the test calls finish().
class HeldOperation final : public Operation {
 public:
  bool isConcurrent() const override { return true; }
  std::atomic<bool> mainReturned = false;

 protected:
  void main() override { mainReturned = true; }
};

TEST(OperationQueueTest, NeverRunsMoreThanItsWidth) {
  Gate gate;
  {
    OperationQueue queue(2);
    for (int i = 0; i < 6; ++i) queue.addOperation(gate.job());
    ASSERT_TRUE(gate.waitStarted(2));
    EXPECT_EQ(queue.operationCount(), 6u);
    gate.open();
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(queue.operationCount(), 0u);
  }
  EXPECT_EQ(gate.started(), 6);
  EXPECT_EQ(gate.peak(), 2);
}

TEST(OperationQueueTest, WideningStartsWaitingOperationsAtOnce) {
  Gate gate;
  OperationQueue queue(1);
  EXPECT_EQ(queue.maxConcurrentOperationCount(), 1);
  for (int i = 0; i < 3; ++i) queue.addOperation(gate.job());
  ASSERT_TRUE(gate.waitStarted(1));
  queue.setMaxConcurrentOperationCount(3);
  EXPECT_TRUE(gate.waitStarted(3)) << "all three hold at once only if the width grew";
  gate.open();
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_EQ(gate.peak(), 3);
}

TEST(OperationQueueTest, RunsInAddingOrderWhenOneWide) {
  OperationQueue queue(1);
  std::vector<int> order;
  for (int i = 0; i < 50; ++i) queue.addOperation([&order, i] { order.push_back(i); });
  queue.waitUntilAllOperationsAreFinished();
  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
}

class RecordingOperation final : public Operation {
 public:
  RecordingOperation(std::vector<int>& order, int tag) : order_(order), tag_(tag) {}

 protected:
  void main() override { order_.push_back(tag_); }

 private:
  std::vector<int>& order_;
  int tag_;
};

TEST(OperationQueueTest, HigherPriorityStartsFirstAndEqualOnesKeepTheirOrder) {
  OperationQueue queue(1);
  queue.setSuspended(true);
  std::vector<int> order;
  // tag = priority * 10 + adding order
  for (const int tag : {0, 41, 1, 102, 42, 2, 103}) {
    auto operation = std::make_shared<RecordingOperation>(order, tag);
    operation->setQueuePriority(tag / 10);
    queue.addOperation(operation);
  }
  queue.setSuspended(false);
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_EQ(order, (std::vector<int>{102, 103, 41, 42, 0, 1, 2}));
}

TEST(OperationQueueTest, AnOperationWaitsForItsDependencyWhateverItsPlace) {
  OperationQueue queue(3);
  queue.setSuspended(true);
  std::vector<int> order;
  std::mutex orderLock;
  auto record = [&](int tag) {
    return [&, tag] {
      std::lock_guard lock(orderLock);
      order.push_back(tag);
    };
  };
  auto gate = std::make_shared<HeldOperation>();
  auto dependent = std::make_shared<RecordingOperation>(order, 1);
  dependent->addDependency(gate);
  queue.addOperation(dependent);
  queue.addOperation(gate);
  queue.addOperation(record(2));
  queue.setSuspended(false);
  // The dependent, first in line, lets the later ones pass and waits.
  for (int i = 0; i < 200 && !(gate->mainReturned && order.size() == 1); ++i) {
    std::this_thread::sleep_for(5ms);
  }
  {
    std::lock_guard lock(orderLock);
    EXPECT_EQ(order, std::vector<int>{2});
  }
  EXPECT_FALSE(dependent->isReady());
  gate->finish();
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

class CancelAwareOperation final : public Operation {
 public:
  std::atomic<bool> started = false;
  std::atomic<bool> sawCancel = false;

 protected:
  void main() override {
    started = true;
    while (!isCancelled()) std::this_thread::yield();
    sawCancel = true;
  }
};

TEST(OperationQueueTest, CancelDropsWaitingOperationsAndFlagsRunningOnes) {
  OperationQueue queue(1);
  auto running = std::make_shared<CancelAwareOperation>();
  queue.addOperation(running);
  std::atomic<int> laterRuns = 0;
  std::vector<std::shared_ptr<Operation>> waiting;
  for (int i = 0; i < 3; ++i) waiting.push_back(queue.addOperation([&] { ++laterRuns; }));
  while (!running->started) std::this_thread::yield();

  queue.cancelAllOperations();
  queue.waitUntilAllOperationsAreFinished();

  EXPECT_TRUE(running->sawCancel);
  EXPECT_TRUE(running->isFinished());
  EXPECT_EQ(laterRuns, 0);
  for (const auto& operation : waiting) {
    EXPECT_TRUE(operation->isCancelled());
    EXPECT_TRUE(operation->isFinished());
    EXPECT_FALSE(operation->isExecuting());
  }
  // The queue still works after a cancel.
  queue.addOperation([&] { ++laterRuns; });
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_EQ(laterRuns, 1);
}

TEST(OperationQueueTest, SingleCancelledOperationNeverStarts) {
  Gate gate;
  OperationQueue queue(1);
  queue.addOperation(gate.job());
  bool ran = false;
  auto skipped = queue.addOperation([&] { ran = true; });
  skipped->cancel();
  gate.open();
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_FALSE(ran);
  EXPECT_TRUE(skipped->isFinished());
}

TEST(OperationQueueTest, ConcurrentOperationHoldsItsSlotUntilFinish) {
  OperationQueue queue(1);
  auto held = std::make_shared<HeldOperation>();
  std::atomic<bool> finishCalled = false;
  bool nextStartedBeforeFinish = true;
  queue.addOperation(held);
  queue.addOperation([&] { nextStartedBeforeFinish = !finishCalled; });
  while (!held->mainReturned) std::this_thread::yield();
  EXPECT_TRUE(held->isExecuting());
  EXPECT_EQ(queue.operationCount(), 2u);

  std::atomic<bool> waitReturned = false;
  std::thread waiter([&] {
    queue.waitUntilAllOperationsAreFinished();
    waitReturned = true;
  });
  std::thread finisher([&] {
    finishCalled = true;
    held->finish();
  });
  finisher.join();
  waiter.join();
  EXPECT_TRUE(waitReturned);
  EXPECT_FALSE(nextStartedBeforeFinish);
  EXPECT_TRUE(held->isFinished());
  EXPECT_FALSE(held->isExecuting());
}

TEST(OperationQueueTest, SuspendedQueueStartsNothingUntilResumed) {
  OperationQueue queue(2);
  queue.setSuspended(true);
  std::atomic<bool> resumed = false;
  bool ranWhileSuspended = false;
  queue.addOperation([&] { ranWhileSuspended = !resumed; });
  EXPECT_TRUE(queue.isSuspended());
  resumed = true;
  queue.setSuspended(false);
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_FALSE(ranWhileSuspended);
}

TEST(OperationQueueTest, ThrowingOperationFinishesAndFreesItsSlot) {
  OperationQueue queue(1);
  auto throwing = queue.addOperation([] { throw std::runtime_error("bad"); });
  bool after = false;
  queue.addOperation([&] { after = true; });
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(throwing->isFinished());
  EXPECT_TRUE(after);
}

TEST(OperationQueueTest, RefusesNothingAndSecondAdds) {
  OperationQueue first(1);
  OperationQueue second(1);
  EXPECT_FALSE(first.addOperation(std::shared_ptr<Operation>()));
  EXPECT_EQ(first.addOperation(std::function<void()>()), nullptr);
  auto operation = first.addOperation([] {});
  EXPECT_FALSE(second.addOperation(operation));
  EXPECT_FALSE(first.addOperation(operation));
}

TEST(OperationQueueTest, DestructionCancelsAndWaits) {
  auto running = std::make_shared<CancelAwareOperation>();
  {
    OperationQueue queue(1);
    queue.addOperation(running);
    while (!running->started) std::this_thread::yield();
  }
  EXPECT_TRUE(running->sawCancel);
  EXPECT_TRUE(running->isFinished());
}

}  // namespace
}  // namespace nb::platform
