#include "foundation/sqlite/FMDatabaseQueue.h"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "foundation/sqlite/FMDatabasePool.h"
#include "foundation/sqlite/SqlTestSupport.h"
#include "support/TempHome.h"

namespace nb {
namespace {

class FMDatabaseQueueTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    queue = FMDatabaseQueue::databaseQueueWithPath(path());
    ASSERT_TRUE(queue);
    queue->inDatabase([](FMDatabase& db) {
      db.executeUpdate("create table counter(n integer)");
      db.executeUpdate("insert into counter values(0)");
    });
  }
  std::string path() const { return (root() / "q.db").string(); }
  int64_t counter() {
    int64_t n = -1;
    queue->inDatabase([&](FMDatabase& db) { n = longForQuery(db, "select n from counter"); });
    return n;
  }

  std::shared_ptr<FMDatabaseQueue> queue;
};

TEST_F(FMDatabaseQueueTest, MissingFolderGivesNoQueue) {
  test::SqlLogCapture log;
  const std::string bad = (root() / "none/q.db").string();
  EXPECT_EQ(FMDatabaseQueue::databaseQueueWithPath(bad), nullptr);
  EXPECT_EQ(log.count("Could not create database queue for path " + bad), 1);
}

TEST_F(FMDatabaseQueueTest, TwoThreadsReadThenWriteWithoutLosingUpdates) {
  auto increment = [&] {
    for (int i = 0; i < 200; ++i) {
      queue->inDatabase([](FMDatabase& db) {
        const int64_t n = longForQuery(db, "select n from counter");
        db.executeUpdateRetry("update counter set n = ?", {n + 1});
      });
    }
  };
  std::thread a(increment), b(increment);
  a.join();
  b.join();
  EXPECT_EQ(counter(), 400);
}

TEST_F(FMDatabaseQueueTest, ReentryIsRefusedAndTheOuterJobFinishes) {
  bool inner = true, outerDone = false;
  EXPECT_TRUE(queue->inDatabase([&](FMDatabase& db) {
    inner = queue->inDatabase([](FMDatabase&) {});
    outerDone = db.executeUpdate("update counter set n = 5");
  }));
  EXPECT_FALSE(inner);
  EXPECT_TRUE(outerDone);
  EXPECT_EQ(counter(), 5);
}

TEST_F(FMDatabaseQueueTest, NextJobAfterCloseReopensUnlessReopeningIsOff) {
  queue->close();
  EXPECT_EQ(counter(), 0);
  queue->close();
  queue->setReopenAllowed(false);
  test::SqlLogCapture log;
  EXPECT_EQ(counter(), 0);  // the default of longForQuery: no connection
  EXPECT_EQ(log.count("will not reopen"), 1);
}

TEST_F(FMDatabaseQueueTest, ResultSetLeftOpenIsReportedOnce) {
  std::unique_ptr<FMResultSet> leaked;
  test::SqlLogCapture log;
  queue->inDatabase([&](FMDatabase& db) {
    leaked = db.executeQuery("select n from counter");
    leaked->next();
  });
  EXPECT_EQ(log.count("Warning: there is at least one open result set around"), 1);
  queue->inDatabase([&](FMDatabase&) { leaked.reset(); });
}

TEST_F(FMDatabaseQueueTest, TransactionCommitsOrRollsBack) {
  queue->inTransaction([](FMDatabase& db, bool& rollback) {
    db.executeUpdate("update counter set n = 9");
    rollback = true;
  });
  EXPECT_EQ(counter(), 0);
  queue->inTransaction([](FMDatabase& db, bool&) { db.executeUpdate("update counter set n = 3"); });
  EXPECT_EQ(counter(), 3);
}

TEST_F(FMDatabaseQueueTest, SchemaQueries) {
  queue->inDatabase([](FMDatabase& db) {
    EXPECT_TRUE(tableExists(db, "COUNTER"));
    EXPECT_FALSE(tableExists(db, "other"));
    EXPECT_TRUE(columnExists(db, "counter", "N"));
    EXPECT_FALSE(columnExists(db, "counter", "m"));
    auto schema = getSchema(db);
    ASSERT_TRUE(schema && schema->next());
    EXPECT_EQ(schema->stringForColumn("name"), "counter");
    schema->close();
    std::string error;
    EXPECT_TRUE(validateSQL(db, "select n from counter"));
    EXPECT_FALSE(validateSQL(db, "select nope from counter", &error));
    EXPECT_NE(error.find("nope"), std::string::npos);
    EXPECT_EQ(stringForQuery(db, "select n from counter where n = 99"), std::nullopt);
  });
}

TEST_F(FMDatabaseQueueTest, PoolHandsOutAndTakesBackConnections) {
  FMDatabasePool pool(path());
  pool.setMaximumNumberOfDatabasesToCreate(2);
  auto a = pool.db();
  auto b = pool.db();
  ASSERT_TRUE(a && b);
  EXPECT_NE(a, b);
  EXPECT_EQ(pool.db(), nullptr);  // limit reached
  pool.pushDatabaseBackInPool(a);
  test::SqlLogCapture log;
  pool.pushDatabaseBackInPool(a);
  EXPECT_EQ(log.count("Database already in pool"), 1);
  EXPECT_EQ(pool.countOfCheckedInDatabases(), 1u);
  EXPECT_EQ(pool.countOfCheckedOutDatabases(), 1u);
  int64_t n = -1;
  EXPECT_TRUE(pool.inDatabase([&](FMDatabase& db) { n = longForQuery(db, "select n from counter"); }));
  EXPECT_EQ(n, 0);
  pool.releaseAllDatabases();
  EXPECT_EQ(pool.countOfOpenDatabases(), 0u);
}

}  // namespace
}  // namespace nb
