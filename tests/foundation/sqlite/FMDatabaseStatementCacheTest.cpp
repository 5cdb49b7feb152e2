#include <gtest/gtest.h>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "foundation/sqlite/FMResultSet.h"
#include "foundation/sqlite/SqlTestSupport.h"

namespace nb {
namespace {

// Reused statements must behave as freshly prepared ones.
class StatementCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(db.open());
    ASSERT_TRUE(db.executeUpdate("create table t(k integer, v text)"));
    for (int k = 0; k < 3; ++k) {
      ASSERT_TRUE(db.executeUpdate("insert into t values(?, ?)", {k, "v" + std::to_string(k)}));
    }
  }
  FMDatabase db{std::nullopt};
};

TEST_F(StatementCacheTest, ReuseBindsTheNewValues) {
  for (int k = 2; k >= 0; --k) {
    EXPECT_EQ(stringForQuery(db, "select v from t where k = ?", {k}), "v" + std::to_string(k));
  }
}

TEST_F(StatementCacheTest, NestedRunsOfOneTextAreIndependent) {
  auto outer = db.executeQuery("select k from t order by k");
  int rows = 0;
  while (outer && outer->next()) {
    auto inner = db.executeQuery("select k from t order by k");
    ASSERT_TRUE(inner && inner->next());
    EXPECT_EQ(inner->intForColumnIndex(0), 0);
    EXPECT_EQ(outer->intForColumnIndex(0), rows++);
  }
  EXPECT_EQ(rows, 3);
}

TEST_F(StatementCacheTest, SchemaChangeIsSeenByACachedText) {
  ASSERT_EQ(intForQuery(db, "select count(*) from t"), 3);
  ASSERT_TRUE(db.executeUpdate("drop table t"));
  ASSERT_TRUE(db.executeUpdate("create table t(x)"));
  EXPECT_EQ(intForQuery(db, "select count(*) from t"), 0);
}

TEST_F(StatementCacheTest, CloseFinalizesCachedStatementsQuietly) {
  test::SqlLogCapture log;
  ASSERT_EQ(intForQuery(db, "select count(*) from t"), 3);
  EXPECT_TRUE(db.close());
  EXPECT_EQ(log.count("leaked"), 0);
  EXPECT_TRUE(db.open());
  EXPECT_EQ(intForQuery(db, "select count(*) from sqlite_master"), 0);
}

}  // namespace
}  // namespace nb
