// Holders of one key run one after another; other keys are not held up.

#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "bridge/open/KeyedLocks.h"

namespace nb::bridge {
namespace {

TEST(KeyedLocksTest, ASecondHolderOfTheSameKeyWaitsAndOtherKeysDoNot) {
  KeyedLocks locks;
  std::atomic<bool> secondIn{false};
  std::future<void> second;
  {
    KeyedLocks::Hold first(locks, "copy");
    EXPECT_TRUE(locks.held("copy"));
    second = std::async(std::launch::async, [&] {
      KeyedLocks::Hold hold(locks, "copy");
      secondIn = true;
    });
    {
      KeyedLocks::Hold other(locks, "another copy");  // would hang if it waited
      EXPECT_TRUE(locks.held("another copy"));
    }
    EXPECT_FALSE(second.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready);
    EXPECT_FALSE(secondIn);
  }
  second.get();
  EXPECT_TRUE(secondIn);
  EXPECT_FALSE(locks.held("copy"));
  EXPECT_FALSE(locks.held("another copy"));
}

}  // namespace
}  // namespace nb::bridge
