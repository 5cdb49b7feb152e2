#include "foundation/sqlite/MySqlite.h"

#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "foundation/sqlite/SqlTestSupport.h"
#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

// The smallest real store: one key-value table.
class KeyValueStore : public MySqlite {
 public:
  KeyValueStore(const std::string& path, bool integrity) { init(path, integrity); }
  KeyValueStore() = default;

  void createTable(bool) override {
    ++createTableCalls;
    inDatabase([](FMDatabase& db) {
      db.executeUpdate("create table if not exists kv(k text primary key, v text)");
    });
  }
  void put(const std::string& k, const std::string& v) {
    inDatabase([&](FMDatabase& db) {
      db.executeUpdateRetry("insert or replace into kv(k, v) values(?, ?)", {k, v});
    });
  }
  std::string get(const std::string& k) {
    std::string v;
    inDatabase([&](FMDatabase& db) {
      v = stringForQuery(db, "select v from kv where k = ?", {k}).value_or("");
    });
    return v;
  }

  int createTableCalls = 0;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class MySqliteTest : public test::TempHome {
 protected:
  std::string path() const { return (root() / "store.db").string(); }
  const std::string garbage = std::string(4096, 'x');
};

TEST_F(MySqliteTest, DamagedFileIsSetAsideAndTheBackupPutBack) {
  {
    KeyValueStore store(path(), true);
    store.put("kept", "1");
    store.backup();
    store.put("lost", "2");
  }
  writeFile(path(), garbage);

  KeyValueStore store(path(), true);
  EXPECT_EQ(store.createTableCalls, 2);  // once on the damaged file, once after the restore
  EXPECT_EQ(store.get("kept"), "1");
  EXPECT_EQ(store.get("lost"), "");
  EXPECT_EQ(readFile(path() + "_error"), garbage);
  EXPECT_FALSE(fs::exists(path() + "_old"));
  EXPECT_TRUE(fs::exists(path() + "_old_reset"));
  EXPECT_TRUE(store.checkIntegrity());
}

TEST_F(MySqliteTest, RestoreMovesTheJournalFilesWithTheDamagedFile) {
  KeyValueStore store(path(), true);
  store.put("kept", "1");
  store.backup();
  store.close();
  writeFile(path(), garbage);
  writeFile(path() + "-journal", "stale journal");
  writeFile(path() + "-wal", "stale log");

  store.reset();
  EXPECT_EQ(readFile(path() + "_error"), garbage);
  EXPECT_EQ(readFile(path() + "_error-journal"), "stale journal");
  EXPECT_EQ(readFile(path() + "_error-wal"), "stale log");
  EXPECT_FALSE(fs::exists(path() + "-journal"));
  EXPECT_FALSE(fs::exists(path() + "-wal"));
  EXPECT_EQ(readFile(path()), readFile(path() + "_old_reset"));
  EXPECT_EQ(store.get("kept"), "1");
}

TEST_F(MySqliteTest, DamagedFileWithoutBackupStartsEmptyAndKeepsTheDamage) {
  writeFile(path(), garbage);
  KeyValueStore store(path(), true);
  EXPECT_EQ(readFile(path() + "_error"), garbage);
  store.put("a", "b");
  EXPECT_EQ(store.get("a"), "b");
}

TEST_F(MySqliteTest, DamagedFileIsLeftAloneWithoutTheIntegrityFlag) {
  writeFile(path(), garbage);
  KeyValueStore store(path(), false);
  EXPECT_EQ(store.get("a"), "");
  EXPECT_FALSE(fs::exists(path() + "_error"));
  EXPECT_EQ(readFile(path()), garbage);
}

TEST_F(MySqliteTest, SecondBackupReplacesTheFirst) {
  KeyValueStore store(path(), true);
  EXPECT_EQ(store.ftBackupTime(), 0.0);
  store.put("a", "1");
  store.backup();
  const double first = store.ftBackupTime();
  EXPECT_GT(first, 0.0);
  store.put("a", "2");
  store.backup();
  EXPECT_GE(store.ftBackupTime(), first);
  EXPECT_FALSE(fs::exists(path() + "_old.tmp"));

  KeyValueStore copy(path() + "_old", true);
  EXPECT_EQ(copy.get("a"), "2");
}

// A store with a write-ahead log: its last commits sit in the log, not yet
// in the file that the backup copies.
class LoggedStore : public KeyValueStore {
 public:
  explicit LoggedStore(const std::string& path) { init(path, true); }
  void createTable(bool integrity) override {
    useWriteAheadLog();
    KeyValueStore::createTable(integrity);
  }
  std::string journalMode() {
    std::string mode;
    inDatabase([&](FMDatabase& db) { mode = stringForQuery(db, "pragma journal_mode").value_or(""); });
    return mode;
  }
};

TEST_F(MySqliteTest, ALoggedStoreBacksUpItsLastCommitAndReopensLogged) {
  {
    LoggedStore store(path());
    EXPECT_EQ(store.journalMode(), "wal");
    store.put("a", "1");
    store.put("b", "2");
    store.backup();
    store.put("a", "3");  // after the backup: only the store has it
    // A reopened connection keeps the log mode, which stays with the file.
    store.close();
    EXPECT_EQ(store.journalMode(), "wal");
    EXPECT_EQ(store.get("a"), "3");
  }
  KeyValueStore copy(path() + "_old", true);
  EXPECT_EQ(copy.get("a"), "1");
  EXPECT_EQ(copy.get("b"), "2");
}

TEST_F(MySqliteTest, BackupWithoutPathOnlyStampsTheTime) {
  KeyValueStore store;
  store.backup();
  EXPECT_GT(store.ftBackupTime(), 0.0);
  EXPECT_TRUE(fs::is_empty(root() / "home") || !fs::exists(path()));
  EXPECT_FALSE(fs::exists(path() + "_old"));
}

TEST_F(MySqliteTest, UnopenableStoreAnswersDefaultsAndDropsWrites) {
  test::SqlLogCapture log;
  const std::string bad = (root() / "missing/store.db").string();
  KeyValueStore store(bad, true);
  EXPECT_EQ(store.dbQueue(), nullptr);
  store.put("a", "b");
  EXPECT_EQ(store.get("a"), "");
  EXPECT_FALSE(store.checkIntegrity());
  EXPECT_GE(log.count("Could not create database queue for path " + bad), 1);
}

TEST_F(MySqliteTest, StoreOperationInsideItsOwnJobIsRefused) {
  KeyValueStore store(path(), true);
  store.put("a", "1");
  std::string inner = "unset";
  EXPECT_TRUE(store.inDatabase([&](FMDatabase&) { inner = store.get("a"); }));
  EXPECT_EQ(inner, "");
  EXPECT_EQ(store.get("a"), "1");
}

TEST_F(MySqliteTest, TwoThreadsOnOneStoreKeepEveryWrite) {
  KeyValueStore store(path(), true);
  auto writer = [&](const std::string& prefix) {
    for (int i = 0; i < 100; ++i) store.put(prefix + std::to_string(i), std::to_string(i));
  };
  std::thread a(writer, "a"), b(writer, "b");
  a.join();
  b.join();
  int64_t rows = 0;
  store.inDatabase([&](FMDatabase& db) { rows = longForQuery(db, "select count(*) from kv"); });
  EXPECT_EQ(rows, 200);
}

TEST_F(MySqliteTest, ClosedStoreReopensOnTheNextOperation) {
  KeyValueStore store(path(), true);
  store.put("a", "1");
  store.close();
  EXPECT_EQ(store.get("a"), "1");
}

}  // namespace
}  // namespace nb
