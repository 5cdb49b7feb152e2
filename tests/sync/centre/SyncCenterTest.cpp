#include "sync/centre/SyncCenter.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "support/TempHome.h"

namespace nb {
namespace {

// Stands in for the message store: one table, opened through the store base.
class FakeMessageStore : public MySqlite {
 public:
  explicit FakeMessageStore(const std::string& path) { init(path, true); }
  void createTable(bool) override {
    inDatabase([](FMDatabase& db) { db.executeUpdate("create table if not exists m(v text)"); });
  }
  bool add(const std::string& v) {
    bool ok = false;
    inDatabase([&](FMDatabase& db) { ok = db.executeUpdate("insert into m values(?)", {v}); });
    return ok;
  }
};

class SyncCenterTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    center.setMessageStoreOpener([](const std::string& path) -> std::shared_ptr<MySqlite> {
      auto store = std::make_shared<FakeMessageStore>(path);
      return store->dbQueue() ? store : nullptr;
    });
  }
  void TearDown() override {
    center.exit();
    center.setMessageStoreOpener(nullptr);
    TempHome::TearDown();
  }
  std::string path() const { return (root() / "vemessage3.db").string(); }

  SyncCenter& center = SyncCenter::shareSyncCenter();
};

TEST_F(SyncCenterTest, SessionStartAndEnd) {
  EXPECT_EQ(&SyncCenter::shareSyncCenter(), &center);
  center.setinit(path(), false);
  // Set once the session's libraries are loaded, not by the start itself.
  EXPECT_FALSE(center.bInit());
  EXPECT_TRUE(center.bFirst());
  EXPECT_FALSE(center.bOut());
  auto store = center.messagedb<FakeMessageStore>();
  ASSERT_TRUE(store);
  EXPECT_TRUE(store->add("before"));

  center.exit();
  EXPECT_TRUE(center.bOut());
  EXPECT_FALSE(center.bInit());
  EXPECT_EQ(center.messageStore(), nullptr);
}

// A holder of the old store (a page command under way) must not reopen the
// keyed file without its key after the session ended.
TEST_F(SyncCenterTest, ClosedMessageStoreRefusesLaterJobs) {
  center.setinit(path(), false);
  auto held = center.messagedb<FakeMessageStore>();
  ASSERT_TRUE(held->add("before"));
  center.exit();
  EXPECT_FALSE(held->add("after"));

  FMDatabase reader(path());
  ASSERT_TRUE(reader.open());
  EXPECT_EQ(longForQuery(reader, "select count(*) from m"), 1);
}

TEST_F(SyncCenterTest, FailedOpenLeavesNoStore) {
  center.setinit((root() / "no-folder" / "x.db").string(), false);
  EXPECT_EQ(center.messageStore(), nullptr);
  EXPECT_FALSE(center.bOut());
}

}  // namespace
}  // namespace nb
