#include "foundation/sqlite/FMResultSet.h"

#include <gtest/gtest.h>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/SqlTestSupport.h"

namespace nb {
namespace {

class FMResultSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(db.open());
    ASSERT_TRUE(db.executeUpdate("create table t(id integer, name text, big integer, flag)"));
    ASSERT_TRUE(db.executeUpdate("insert into t values(1, NULL, 3000000000, '5')"));
    ASSERT_TRUE(db.executeUpdate("insert into t values(2, '', 42, NULL)"));
  }
  std::unique_ptr<FMResultSet> row(int id) {
    auto set = db.executeQuery("select * from t where id = ?", {id});
    EXPECT_TRUE(set && set->next());
    return set;
  }
  FMDatabase db{std::nullopt};  // in memory
};

TEST_F(FMResultSetTest, NullTextIsNothingAndEmptyTextIsEmpty) {
  EXPECT_EQ(row(1)->stringForColumn("name"), std::nullopt);
  EXPECT_EQ(row(2)->stringForColumn("name"), std::string());
  EXPECT_TRUE(row(1)->columnIsNull("name"));
  EXPECT_FALSE(row(2)->columnIsNull("name"));
}

TEST_F(FMResultSetTest, ConversionsFollowSqlite) {
  auto first = row(1);
  EXPECT_NE(first->intForColumn("big"), 3000000000LL);
  EXPECT_EQ(first->longLongIntForColumn("big"), 3000000000LL);
  EXPECT_EQ(first->stringForColumn("big"), "3000000000");
  EXPECT_TRUE(first->boolForColumn("flag"));  // the text "5"
  EXPECT_FALSE(row(2)->boolForColumn("flag"));  // NULL
  EXPECT_EQ(first->objectForColumnName("big"), SqlValue(int64_t{3000000000}));
  EXPECT_EQ(first->objectForColumnName("flag"), SqlValue("5"));
  EXPECT_TRUE(first->objectForColumnName("name").isNull());
}

TEST_F(FMResultSetTest, NamesIgnoreCaseAndUnknownNamesReadAsDefaults) {
  auto set = row(2);
  EXPECT_EQ(set->intForColumn("ID"), 2);
  EXPECT_EQ(set->columnIndexForName("Name"), 1);
  test::SqlLogCapture log;
  EXPECT_EQ(set->columnIndexForName("Missing"), -1);
  EXPECT_EQ(log.count("Warning: I could not find the column named 'missing'."), 1);
  EXPECT_EQ(set->stringForColumnIndex(-1), std::nullopt);
  EXPECT_EQ(set->intForColumnIndex(99), 0);
  EXPECT_EQ(set->dataForColumnIndex(-1), std::nullopt);
}

TEST_F(FMResultSetTest, ReadsOutsideARowGiveDefaults) {
  auto set = db.executeQuery("select id, name from t where id = 2");
  ASSERT_TRUE(set);
  EXPECT_EQ(set->intForColumn("id"), 0);  // before the first row
  ASSERT_TRUE(set->next());
  EXPECT_EQ(set->intForColumn("id"), 2);
  EXPECT_FALSE(set->next());  // the end closes the set
  EXPECT_FALSE(db.hasOpenResultSets());
  EXPECT_EQ(set->intForColumn("id"), 0);
  EXPECT_EQ(set->stringForColumn("name"), std::nullopt);
  EXPECT_FALSE(set->next());
  set->close();  // closing again does nothing

  auto none = db.executeQuery("select id from t where id = 99");
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->next());
}

TEST_F(FMResultSetTest, DuplicateColumnNamesMapToTheLaterColumn) {
  ASSERT_TRUE(db.executeUpdate("create table u(id integer, t_id integer)"));
  ASSERT_TRUE(db.executeUpdate("insert into u values(7, 1)"));
  auto set = db.executeQuery("select * from t join u on u.t_id = t.id");
  ASSERT_TRUE(set && set->next());
  EXPECT_EQ(set->intForColumn("id"), 7);
  const auto dict = set->resultDict();
  ASSERT_TRUE(dict);
  EXPECT_EQ(dict->at("id"), SqlValue(7));
}

TEST_F(FMResultSetTest, BlobsRoundTrip) {
  const SqlBlob bytes{0, 1, 2, 255};
  ASSERT_TRUE(db.executeUpdate("create table b(data blob)"));
  ASSERT_TRUE(db.executeUpdate("insert into b values(?)", {bytes}));
  auto set = db.executeQuery("select data from b");
  ASSERT_TRUE(set && set->next());
  EXPECT_EQ(set->dataForColumn("data"), bytes);
}

}  // namespace
}  // namespace nb
