#pragma once
// The sync test world with a started manager, and the few steps the server
// side's tests repeat: rows planted in the library's store, cursors read
// back, the requests the feed sent.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "stores/syncdb/SyncFileItem.h"
#include "stores/syncdb/SyncVersion.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncManager.h"

namespace nb::test {

class FeedFixture : public SyncWorld {
 protected:
  // Makes and starts the library's manager; its first pass has read the
  // (then empty) feed.
  std::shared_ptr<SyncManager> start() {
    runCoordinatorPass();
    auto m = manager();
    EXPECT_TRUE(m);
    network().clear();
    app().clear();
    return m;
  }

  // A row as an earlier sync left it.
  static SyncFileItem plant(SyncManager& m, const std::string& path, int64_t status,
                            bool dir = false, uint64_t lasttime = 0) {
    SyncFileItem row;
    row.strWebPath = path;
    row.nUpID = 0;
    row.bDir = dir;
    row.nStatus = status;
    row.ullLastTime = lasttime;
    if (!dir) {
      row.strFileHash = std::string(40, 'a');
      row.ullFileSize = 1;
    }
    row.nID = m.syncdb().add_new_file(row);
    return row;
  }

  // The feed entry the service sends for a path.
  static CompareItem entry(const std::string& path, int64_t cmd, bool dir = false) {
    CompareItem item;
    item.strWebPath = path;
    item.nCmd = cmd;
    item.bDir = dir;
    return item;
  }

  // Moves the library's stored cursor to just after the feed's current end,
  // as if every change so far had been read.
  void cursorAtFeedEnd(SyncManager& m) {
    const auto changes = tree().changes();
    ASSERT_FALSE(changes.empty());
    ASSERT_TRUE(m.syncdb().update_total_version(
        SyncVersion{"/", changes.back().dateline, changes.back().id, false}));
    m.syncdb().update_total_compareinit("/", 0);
  }

  SyncVersion storedCursor(SyncManager& m, const std::string& path = "/") {
    return m.syncdb().get_total_version(path);
  }

  // The value of `name` in each request to the change feed, oldest first.
  std::vector<std::string> feedParams(const std::string& name) {
    std::vector<std::string> values;
    for (const auto& call : api_.callsTo("/1/file/compare")) {
      values.push_back(call.param(name).value_or("-"));
    }
    return values;
  }
};

}  // namespace nb::test
