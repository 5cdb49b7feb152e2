#pragma once
// A transfer store on a fresh file in a temporary HOME, with a manual clock
// installed for the test, a session and content cache of its own, and raw
// access to its rows.

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "stores/cache/SyncCache.h"
#include "stores/transfer/TransPortDB.h"
#include "support/ManualClock.h"
#include "support/TempHome.h"

namespace nb::test {

inline constexpr std::uint64_t kNow = 1'700'000'000;

class TransPortDBTestBase : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    UserData::Options options;
    options.home = home();
    options.computerid = "test-computer";
    user = std::make_unique<UserData>(std::move(options));
    user->setUserID(7);
    catalogue.setPath(user->getmountdb());
    cache = std::make_unique<SyncCache>(*user, catalogue);
    cache->setPath(user->getcache());
    // The opened-file pass of every opening works on this session only.
    store.setSession(*user, *cache);
    store.setPath(path());
  }

  std::string path() const { return (root() / "vetransex3.db").string(); }

  // Runs one statement on the store's connection; fails the test when it does.
  void exec(const std::string& sql, const SqlArgs& args = {}) {
    bool ok = false;
    store.inDatabase([&](FMDatabase& db) { ok = db.executeUpdate(sql, args); });
    ASSERT_TRUE(ok) << sql;
  }
  std::int64_t number(const std::string& sql, const SqlArgs& args = {}) {
    std::int64_t value = 0;
    store.inDatabase([&](FMDatabase& db) { value = longForQuery(db, sql, args); });
    return value;
  }
  std::string text(const std::string& sql, const SqlArgs& args = {}) {
    std::string value;
    store.inDatabase([&](FMDatabase& db) { value = stringForQuery(db, sql, args).value_or(""); });
    return value;
  }

  // A record as the sync engine queues it: waiting, with a size and a hash.
  static TransportItem record(std::int64_t mountid, const std::string& webpath,
                              const std::string& fullpath = "/home/u/f") {
    TransportItem item;
    item.nMountid = mountid;
    item.strWebpath = webpath;
    item.strFullpath = fullpath;
    item.strFilehash = std::string(40, 'a');
    item.ullFilesize = 1000;
    item.nStatus = kTransWaiting;
    item.ullLast = kNow - 50;
    return item;
  }

  std::unique_ptr<UserData> user;
  Mountsdb catalogue;
  std::unique_ptr<SyncCache> cache;
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(kNow);
  ScopedClockOverride clockOverride{clock};
  TransPortDB store;
};

}  // namespace nb::test
