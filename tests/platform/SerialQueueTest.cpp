#include "platform/SerialQueue.h"

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace nb::platform {
namespace {

TEST(SerialQueueTest, JobRunsOnTheCallersThread) {
  SerialQueue queue("t");
  std::thread::id ran;
  EXPECT_TRUE(queue.sync([&] { ran = std::this_thread::get_id(); }));
  EXPECT_EQ(ran, std::this_thread::get_id());
  EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueueTest, ReentryIsRefusedInsteadOfDeadlocking) {
  SerialQueue queue("t");
  SerialQueue other("u");
  bool inner = true, viaOther = true, otherRan = false;
  EXPECT_TRUE(queue.sync([&] {
    EXPECT_TRUE(queue.isCurrent());
    inner = queue.sync([] {});
    // Through another queue back to this one: still our own thread.
    other.sync([&] {
      otherRan = true;
      viaOther = queue.sync([] {});
    });
  }));
  EXPECT_FALSE(inner);
  EXPECT_FALSE(viaOther);
  EXPECT_TRUE(otherRan);
  EXPECT_TRUE(queue.sync([] {}));  // the queue is still usable
}

TEST(SerialQueueTest, ExceptionIsContainedAndQueueStaysUsable) {
  SerialQueue queue("t");
  EXPECT_TRUE(queue.sync([] { throw std::runtime_error("boom"); }));
  int n = 0;
  EXPECT_TRUE(queue.sync([&] { ++n; }));
  EXPECT_EQ(n, 1);
}

TEST(SerialQueueTest, JobsNeverOverlapAndWaitersAreServedInArrivalOrder) {
  SerialQueue queue("t");
  std::atomic<int> inside{0};
  std::atomic<bool> overlap{false};
  std::vector<int> order;

  // The first job holds the queue until the waiters have taken their
  // tickets, one after another in a known order.
  std::atomic<bool> release{false};
  std::thread holder([&] {
    queue.sync([&] {
      while (!release) std::this_thread::yield();
    });
  });
  auto waitForPending = [&](uint64_t n) {
    while (queue.pending() < n) std::this_thread::yield();
  };
  waitForPending(1);
  std::vector<std::thread> waiters;
  for (int i = 0; i < 8; ++i) {
    waiters.emplace_back([&, i] {
      queue.sync([&, i] {
        if (++inside > 1) overlap = true;
        order.push_back(i);
        --inside;
      });
    });
    waitForPending(static_cast<uint64_t>(i) + 2);
  }
  release = true;
  holder.join();
  for (auto& t : waiters) t.join();
  EXPECT_FALSE(overlap);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

}  // namespace
}  // namespace nb::platform
