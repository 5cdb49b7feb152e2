#include "foundation/sqlite/FMDatabase.h"

#include <sqlcipher/sqlite3.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "foundation/sqlite/FMResultSet.h"
#include "foundation/sqlite/SqliteBusyWait.h"
#include "foundation/sqlite/SqlTestSupport.h"
#include "support/TempHome.h"

namespace nb {
namespace {

class FMDatabaseTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    db = FMDatabase::databaseWithPath(path());
    ASSERT_TRUE(db->open());
  }
  std::string path() const { return (root() / "t.db").string(); }

  std::vector<std::string> column(const std::string& sql) {
    std::vector<std::string> out;
    auto set = db->executeQuery(sql);
    while (set && set->next()) out.push_back(set->stringForColumnIndex(0).value_or("<null>"));
    return out;
  }

  std::unique_ptr<FMDatabase> db;
};

TEST_F(FMDatabaseTest, OpenCreatesTheFileButNotItsFolder) {
  EXPECT_TRUE(std::filesystem::exists(path()));
  EXPECT_TRUE(db->open());  // already open

  test::SqlLogCapture log;
  FMDatabase missing((root() / "no/such/folder/t.db").string());
  EXPECT_FALSE(missing.open());
  EXPECT_EQ(log.count("error opening!: 14"), 1) << log.text();
  EXPECT_FALSE(missing.executeUpdate("create table t(a)"));
  EXPECT_EQ(log.count("is not open."), 1);
}

TEST_F(FMDatabaseTest, PinyinCollationsOrderNumbersAndChineseAndDescIsTheExactReverse) {
  struct Case {
    std::vector<std::string> input;
    std::vector<std::string> ascending;
  };
  const Case cases[] = {
      {{"a10", "a2", "a1", "a100"}, {"a1", "a2", "a10", "a100"}},
      {{"张三", "李四", "王五", "阿明"}, {"阿明", "李四", "王五", "张三"}},
      // The Chinese collation puts Han characters before Latin letters.
      {{"文件10.txt", "文件9.txt", "Zeta", "alpha"}, {"文件9.txt", "文件10.txt", "alpha", "Zeta"}},
      {{"B", "a", "b", "A"}, {"a", "A", "b", "B"}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(db->executeUpdate("drop table if exists names"));
    ASSERT_TRUE(db->executeUpdate("create table names(name text)"));
    for (const auto& name : c.input) ASSERT_TRUE(db->executeUpdate("insert into names values(?)", {name}));
    EXPECT_EQ(column("select name from names order by name collate pinyinasc"), c.ascending);
    std::vector<std::string> reversed(c.ascending.rbegin(), c.ascending.rend());
    EXPECT_EQ(column("select name from names order by name collate pinyindesc"), reversed);
  }
}

TEST_F(FMDatabaseTest, OnlyTheFirstStatementOfATextRuns) {
  ASSERT_TRUE(db->executeUpdate("create table t(a)"));
  EXPECT_TRUE(db->executeUpdate("insert into t values(1); insert into t values(2)"));
  EXPECT_EQ(column("select a from t"), std::vector<std::string>{"1"});
}

TEST_F(FMDatabaseTest, AlterAddingAnExistingColumnFailsSilently) {
  ASSERT_TRUE(db->executeUpdate("create table t(a, b)"));
  test::SqlLogCapture log;
  EXPECT_FALSE(db->executeUpdate("alter table t add column b text"));
  EXPECT_TRUE(db->executeUpdate("alter table t add column c text"));
  EXPECT_EQ(log.text(), "");
}

TEST_F(FMDatabaseTest, FailingWriteIsRunThreeTimesWithTwoRetryLines) {
  const std::string insert = "insert into t(id) values(1)";
  ASSERT_TRUE(db->executeUpdate("create table t(id integer primary key)"));
  ASSERT_TRUE(db->executeUpdateRetry(insert));
  test::SqlLogCapture log;
  EXPECT_FALSE(db->executeUpdateRetry(insert));
  EXPECT_EQ(log.count("Unknown error calling sqlite3_step (19: "), 3) << log.text();
  EXPECT_EQ(log.count("DB Query: " + insert), 3);
  EXPECT_EQ(log.count(insert + " 0 0\n"), 1);
  EXPECT_EQ(log.count(insert + " 1 0\n"), 1);
}

TEST_F(FMDatabaseTest, BoundValuesStoreWhatTheLiteralStatementWould) {
  ASSERT_TRUE(db->executeUpdate("create table t(a, b, c, d, e, f)"));
  ASSERT_TRUE(db->executeUpdate("insert into t values('it''s ?', 5, 18446744073709551, 1, '', 2.5)"));
  const std::optional<std::string> missing;
  const char* noText = nullptr;
  ASSERT_TRUE(db->executeUpdate("insert into t values(?, ?, ?, ?, ?, ?)",
                                {"it's ?", 5, uint64_t{18446744073709551}, true, missing, 2.5}));
  ASSERT_TRUE(db->executeUpdate("insert into t values(?, ?, ?, ?, ?, ?)",
                                {std::string("it's ?"), int64_t{5}, 18446744073709551LL, 1,
                                 noText, 2.5}));
  const auto rows = column(
      "select quote(a)||typeof(a)||quote(b)||typeof(b)||quote(c)||typeof(c)||quote(d)||typeof(d)"
      "||quote(e)||typeof(e)||quote(f)||typeof(f) from t");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], rows[0]);
  EXPECT_EQ(rows[2], rows[0]);

  ASSERT_TRUE(db->executeUpdate("insert into t(a, b) values(?, ?)", {SqlNull{}, SqlBlob{}}));
  EXPECT_EQ(column("select typeof(a)||typeof(b) from t where rowid = 4"),
            std::vector<std::string>{"nullblob"});
}

TEST_F(FMDatabaseTest, MisusedStatementsFailWithALogLine) {
  ASSERT_TRUE(db->executeUpdate("create table t(a)"));
  test::SqlLogCapture log;
  EXPECT_FALSE(db->executeUpdate("insert into t values(?)", {1, 2}));
  EXPECT_EQ(db->executeQuery("select ?"), nullptr);
  EXPECT_EQ(log.count("bind count is not correct"), 2);
  EXPECT_FALSE(db->executeUpdate("select 1"));
  EXPECT_EQ(log.count("A executeUpdate is being called with a query string 'select 1'"), 1);
  EXPECT_TRUE(db->executeUpdate("insert into t values('what?')"));  // no parameter in a literal
}

TEST_F(FMDatabaseTest, NamedParametersBindByKey) {
  EXPECT_EQ(longForQuery(*db, "select 1"), 1);
  auto set = db->executeQueryWithParameterDictionary("select :x + :y as sum", SqlNamedArgs{{"x", 40}, {"y", 2}});
  ASSERT_TRUE(set && set->next());
  EXPECT_EQ(set->intForColumn("sum"), 42);
}

TEST_F(FMDatabaseTest, CloseFinalizesLeakedStatementsAndOpenResultSets) {
  ASSERT_TRUE(db->executeUpdate("create table t(a)"));
  ASSERT_TRUE(db->executeUpdate("insert into t values(1)"));
  sqlite3_stmt* leaked = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db->sqliteHandle(), "select a from t", -1, &leaked, nullptr),
            SQLITE_OK);
  auto set = db->executeQuery("select a from t");
  ASSERT_TRUE(set && set->next());
  test::SqlLogCapture log;
  EXPECT_TRUE(db->close());
  EXPECT_EQ(log.count("Closing leaked statement"), 1);
  EXPECT_FALSE(set->next());
  EXPECT_EQ(set->intForColumnIndex(0), 0);
  EXPECT_EQ(db->sqliteHandle(), nullptr);
}

TEST_F(FMDatabaseTest, KeyedFileIsUnreadableWithoutItsKey) {
  FMDatabase keyed((root() / "k.db").string());
  ASSERT_TRUE(keyed.open());
  EXPECT_FALSE(keyed.setKey(""));
  ASSERT_TRUE(keyed.setKey("secret"));
  ASSERT_TRUE(keyed.executeUpdate("create table t(a)"));
  keyed.close();

  ASSERT_TRUE(keyed.open());
  EXPECT_EQ(keyed.executeQuery("select count(*) from t"), nullptr);
  keyed.close();
  ASSERT_TRUE(keyed.open());
  ASSERT_TRUE(keyed.setKey("secret"));
  EXPECT_EQ(intForQuery(keyed, "select count(*) from t"), 0);
  EXPECT_TRUE(tableExists(keyed, "T"));
}

TEST_F(FMDatabaseTest, WriteWaitsForAnotherConnectionsLockAndLogsALongWait) {
  ASSERT_TRUE(db->executeUpdate("create table t(a)"));
  FMDatabase other(path());
  ASSERT_TRUE(other.open());
  ASSERT_TRUE(other.beginTransaction());
  BusyWait::setWarningAfter(std::chrono::milliseconds(20));
  test::SqlLogCapture log;
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    other.commit();
  });
  EXPECT_TRUE(db->executeUpdate("insert into t values(1)"));
  release.join();
  BusyWait::setWarningAfter(std::chrono::seconds(10));
  EXPECT_EQ(log.count("still waiting"), 1) << log.text();
  EXPECT_EQ(intForQuery(*db, "select count(*) from t"), 1);
}

}  // namespace
}  // namespace nb
