#include "stores/common/SqlSubtree.h"

#include <gtest/gtest.h>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMDatabaseAdditions.h"

namespace nb {
namespace {

// The rule on its own, on a column declared without a collation: the
// statement itself asks for ASCII case to be ignored.
TEST(SqlSubtree, APathOrAPathFollowedBySlashCaseIgnoredNoWildcards) {
  FMDatabase db(":memory:");
  ASSERT_TRUE(db.open());
  ASSERT_TRUE(db.executeUpdate("create table t(p text)"));
  struct Case {
    const char* path;
    bool under;  // in the subtree of "Do%c_s"
    bool at;     // the path itself
  };
  const Case cases[] = {
      {"Do%c_s", false, true},     {"do%C_S", false, true},     {"Do%c_s/x", true, false},
      {"DO%C_S/x/y", true, false}, {"Do%c_s2/x", false, false}, {"Do%c_s.x", false, false},
      {"Doxcys/x", false, false},  {"Do%c_", false, false},     {"Do%c_s0", false, false},
  };
  for (const auto& c : cases) ASSERT_TRUE(db.executeUpdate("insert into t values(?)", {c.path}));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    SqlArgs under{c.path};
    appendSubtreeArgs(under, "Do%c_s");
    EXPECT_EQ(longForQuery(db, "select count(*) from t where p=? and " + subtreeOf("p"), under),
              c.under ? 1 : 0);
    SqlArgs atOr{c.path};
    appendAtOrSubtreeArgs(atOr, "Do%c_s");
    EXPECT_EQ(longForQuery(db, "select count(*) from t where p=? and " + atOrSubtreeOf("p"), atOr),
              c.under || c.at ? 1 : 0);
  }
}

}  // namespace
}  // namespace nb
