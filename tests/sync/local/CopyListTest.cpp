#include "sync/local/CopyList.h"

#include <memory>

#include <gtest/gtest.h>

#include "support/ManualClock.h"

namespace nb {
namespace {

using namespace std::chrono_literals;

class CopyListTest : public ::testing::Test {
 protected:
  std::shared_ptr<test::ManualClock> clock_ = std::make_shared<test::ManualClock>();
  test::ScopedClockOverride override_{clock_};
  CopyList list_;
};

TEST_F(CopyListTest, OwnWriteIsAnEchoUntilThirtyOneSecondsAndACommit) {
  list_.set_add_filelistinfo("docs/a.txt", 10, 5000);
  clock_->advance(2s);
  EXPECT_TRUE(list_.isOwnWrite("docs/a.txt", 10, 5000));
  EXPECT_FALSE(list_.isOwnWrite("docs/a.txt", 11, 5000));  // another size: a real change
  EXPECT_FALSE(list_.isOwnWrite("docs/a.txt", 10, 5001));
  EXPECT_FALSE(list_.isOwnWrite("docs/b.txt", 10, 5000));

  clock_->advance(28s);  // 30 s old: a commit keeps it
  list_.check_and_clear_copylist();
  EXPECT_TRUE(list_.isOwnWrite("docs/a.txt", 10, 5000));
  clock_->advance(1s);  // 31 s: still there until a commit
  EXPECT_TRUE(list_.isOwnWrite("docs/a.txt", 10, 5000));
  list_.check_and_clear_copylist();
  EXPECT_FALSE(list_.isOwnWrite("docs/a.txt", 10, 5000));
  EXPECT_EQ(list_.size(), 0u);
}

TEST_F(CopyListTest, ANewWriteReplacesTheEntryAndItsAge) {
  list_.set_add_filelistinfo("a.txt", 10, 5000);
  clock_->advance(30s);
  list_.set_add_filelistinfo("a.txt", 20, 6000);
  clock_->advance(30s);
  list_.check_and_clear_copylist();
  EXPECT_FALSE(list_.isOwnWrite("a.txt", 10, 5000));
  EXPECT_TRUE(list_.isOwnWrite("a.txt", 20, 6000));
  list_.updateLastTime("a.txt", 7000);
  EXPECT_TRUE(list_.isOwnWrite("a.txt", 20, 7000));
}

}  // namespace
}  // namespace nb
