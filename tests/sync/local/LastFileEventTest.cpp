#include "sync/local/LastFileEvent.h"

#include <memory>

#include <gtest/gtest.h>

#include "support/ManualClock.h"

namespace nb {
namespace {

using namespace std::chrono_literals;

class LastFileEventTest : public ::testing::Test {
 protected:
  // The answer and the stale flag of checkNode, as the feed asks.
  std::pair<bool, bool> check(const std::string& webpath) {
    bool timeout = false;
    const bool found = list_.checkNode(webpath, timeout);
    return {found, timeout};
  }

  std::shared_ptr<test::ManualClock> clock_ = std::make_shared<test::ManualClock>();
  test::ScopedClockOverride override_{clock_};
  LastFileEvent list_;
};

TEST_F(LastFileEventTest, RenamedFolderCoversItsItemsWhileFresh) {
  list_.addNode("Docs");
  clock_->advance(60s);
  const std::pair<bool, bool> fresh{true, false};
  const std::pair<bool, bool> stale{true, true};
  const std::pair<bool, bool> none{false, false};
  EXPECT_EQ(check("docs/a.txt"), fresh);
  EXPECT_EQ(check("DOCS"), fresh);
  EXPECT_EQ(check("Docs2/a.txt"), none);
  EXPECT_EQ(check("Do"), none);
  clock_->advance(1s);
  EXPECT_EQ(check("docs/a.txt"), stale);
  list_.delNode("DOCS");
  EXPECT_EQ(check("docs/a.txt"), none);
}

TEST_F(LastFileEventTest, TrailingSlashEntryMatchesOnlyItself) {
  list_.addNode("Docs/");
  EXPECT_EQ(check("Docs/").first, true);
  EXPECT_EQ(check("Docs/a.txt").first, false);
  EXPECT_EQ(check("Docs").first, false);
}

TEST_F(LastFileEventTest, AddingAgainRefreshesOneEntry) {
  list_.addNode("a.txt");
  clock_->advance(70s);
  list_.addNode("A.TXT");
  EXPECT_EQ(list_.nodes().size(), 1u);
  EXPECT_EQ(list_.nodes()[0].strWebPath, "a.txt");
  EXPECT_EQ(check("a.txt"), std::make_pair(true, false));
  // Never reported back: it stays.
  clock_->advance(3600s);
  EXPECT_EQ(check("a.txt"), std::make_pair(true, true));
}

TEST_F(LastFileEventTest, FirstMatchingEntryDecides) {
  list_.addNode("a");
  clock_->advance(100s);
  list_.addNode("a/b");
  EXPECT_EQ(check("a/b/c"), std::make_pair(true, true));  // "a" is older and first
}

}  // namespace
}  // namespace nb
