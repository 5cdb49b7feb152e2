#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "sync/server/ServerDecisionWorld.h"

namespace nb {
namespace {

class CommitTest : public test::ServerDecisionWorld {
 protected:
  void SetUp() override {
    ServerDecisionWorld::SetUp();
    startLinked();
  }
  // A locally deleted tree: a folder, a folder in it and a file in that.
  void deletedTree() {
    putServerFile("docs/tree/sub/f.txt", "f");
    storeFolderRow("docs/tree", SyncStatus::kDeletedLocally);
    storeFolderRow("docs/tree/sub", SyncStatus::kDeletedLocally);
    storeRow("docs/tree/sub/f.txt", "f", SyncStatus::kDeletedLocally);
  }
  // Commits on another thread; false when it did not end in time.
  bool commitInTime() {
    auto done = std::async(std::launch::async, [this] { m().commit(); });
    return done.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  }
};

TEST_F(CommitTest, DeletedTreeReachesTheServerAsOneRequest) {
  deletedTree();
  ASSERT_TRUE(commitInTime());
  EXPECT_EQ(callCount("/1/file/del"), 1U);
  EXPECT_EQ(lastCall("/1/file/del").param("fullpath"), "docs/tree/");
  EXPECT_EQ(serverTree("docs").count("tree"), 0U);
  EXPECT_EQ(storeRows().count("docs/tree/sub/f.txt"), 0U);
  EXPECT_EQ(storeRows().count("docs/tree"), 0U);
}

TEST_F(CommitTest, ServerAnswersDecideWhatHappensToTheRows) {
  struct Case {
    const char* name;
    int errorCode;  // 0: the service's own answer
    bool rowsGone;
  };
  const Case cases[] = {
      {"deleted", 0, true},
      {"already gone on the server", 40402, true},
      {"server trouble", 50001, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    api_.clearFaults();
    if (c.errorCode != 0) api_.fail("/1/file/del", test::FakeFault::errorCode(c.errorCode, 400));
    deletedTree();
    ASSERT_TRUE(commitInTime());
    EXPECT_EQ(rowOf("docs/tree").nStatus,
              c.rowsGone ? SyncStatus::kNotFound : SyncStatus::kDeletedLocally);
    EXPECT_EQ(serverTree("docs").count("tree"), c.rowsGone && c.errorCode == 0 ? 0U : 1U);
    m().syncdb().del_dir("docs/tree");
  }
}

TEST_F(CommitTest, RefusedDeletionRestoresTheFolderWithoutWaitingOnItsOwnLock) {
  deletedTree();
  api_.fail("/1/file/del", test::FakeFault::errorCode(40310, 403));
  ASSERT_TRUE(commitInTime()) << "the re-read waited on the commit's lock";
  EXPECT_TRUE(m().try_lock());
  m().unlock();
  // The folder and what it holds come back from the server.
  EXPECT_EQ(serverTree("docs").count("tree/sub/f.txt"), 1U);
  EXPECT_NE(rowOf("docs/tree").nStatus, SyncStatus::kNotFound);
  EXPECT_NE(rowOf("docs/tree").nStatus, SyncStatus::kDeletedLocally);
  EXPECT_EQ(rowOf("docs/tree/sub/f.txt").nStatus, SyncStatus::kDownloadPending);
  EXPECT_NE(download("docs/tree/sub/f.txt").nIndex, 0);
}

TEST_F(CommitTest, RowsSettleWithoutARequestWhereTheServerNeedsNone) {
  // The parent's local folder is gone as well.
  storeFolderRow("docs/gone", SyncStatus::kSynced);
  storeRow("docs/gone/f.txt", "f", SyncStatus::kDeletedLocally);
  // Removed on the server: only the local copy is settled.
  storeRow("docs/s.txt", "s", SyncStatus::kRemovedOnServer);
  writeLocalAt("Docs/s.txt", "s", kLocalTime);

  ASSERT_TRUE(commitInTime());

  EXPECT_EQ(callCount("/1/file/del"), 0U);
  EXPECT_EQ(rowOf("docs/gone/f.txt").nStatus, SyncStatus::kNotFound);
  EXPECT_EQ(rowOf("docs/s.txt").nStatus, SyncStatus::kNotFound);
  EXPECT_FALSE(localExists("Docs/s.txt"));
}

TEST_F(CommitTest, ResetSyncMarksTheSubtreeAndQueuesOneEntry) {
  storeFolderRow("docs", SyncStatus::kSynced);
  storeRow("docs/a.txt", "a", SyncStatus::kSynced);
  storeRow("other.txt", "o", SyncStatus::kServerOnly);
  m().reset_sync("docs", true, true);
  m().reset_sync("docs", true, false);
  EXPECT_EQ(rowOf("docs").nStatus, SyncStatus::kSynced);
  EXPECT_EQ(rowOf("docs/a.txt").nStatus, SyncStatus::kResetMark);
  EXPECT_EQ(rowOf("other.txt").nStatus, SyncStatus::kServerOnly);
  ASSERT_EQ(m().syncdb().get_sync_now().size(), 1U);
  EXPECT_TRUE(m().syncdb().get_overwrites().empty());
  EXPECT_TRUE(m().overwrite().checkNode("docs/a.txt"));

  m().reset_sync("", true, false);
  EXPECT_EQ(rowOf("other.txt").nStatus, SyncStatus::kResetMark);
  EXPECT_EQ(rowOf("docs").nStatus, SyncStatus::kResetMark);
}

TEST_F(CommitTest, ResetAllQueuesEveryLinkAndRescans) {
  m().bScaned = true;
  m().resetall();
  EXPECT_FALSE(m().bScaned);
  EXPECT_TRUE(m().bNeedCompare);
  const auto queued = m().syncdb().get_sync_now();
  ASSERT_EQ(queued.size(), 1U);
  EXPECT_EQ(queued.front().strWebPath, "docs");
}

}  // namespace
}  // namespace nb
