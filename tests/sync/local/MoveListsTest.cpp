#include "sync/local/MoveLists.h"

#include <gtest/gtest.h>

namespace nb {
namespace {

TEST(MoveListsTest, PendingOldPathsMatchExactly) {
  MoveLists lists;
  EXPECT_FALSE(lists.check_movelist("/h/Sync/a.txt"));
  lists.renamelist.push_back({"/h/Sync/a.txt", "/h/Sync/b.txt"});
  lists.removelist.push_back({"/h/Sync/x/c.txt", "/h/Sync/y/c.txt"});
  EXPECT_TRUE(lists.check_movelist("/h/Sync/a.txt"));
  EXPECT_TRUE(lists.check_movelist("/h/Sync/x/c.txt"));
  EXPECT_FALSE(lists.check_movelist("/h/Sync/b.txt"));     // a new path is not pending
  EXPECT_FALSE(lists.check_movelist("/h/Sync/x"));         // only a prefix
  EXPECT_FALSE(lists.check_movelist("/h/Sync/A.txt"));     // letter case counts
}

}  // namespace
}  // namespace nb
