// The bookkeeping that copies and moves fall back on: rows re-created at
// the new place with uploads from their content hashes, the old ones marked
// deleted.
#include <gtest/gtest.h>

#include "sync/operations/PageOpsWorld.h"

namespace nb::test {
namespace {

class MoveBookkeepingTest : public PageOpsWorld {
 protected:
  void SetUp() override {
    PageOpsWorld::SetUp();
    startLinked();
  }
};

TEST_F(MoveBookkeepingTest, AFolderListIsRewrittenUnderItsDestinationFolderFirst) {
  storeRow("docs/sub/b.txt", "b", SyncStatus::kSynced);
  storeFolderRow("docs/sub", SyncStatus::kSynced);
  storeRow("docs/sub/gone.txt", "g", SyncStatus::kRemovedOnServer);
  storeRow("docs/sub/deleted.txt", "d", SyncStatus::kDeletedLocally);
  const auto rows = m().getfilelist({item("docs/sub", "copy/sub")});
  ASSERT_EQ(rows.size(), 2U);
  EXPECT_EQ(rows[0].strWebPath, "copy/sub");
  EXPECT_TRUE(rows[0].bDir);
  EXPECT_EQ(rows[1].strWebPath, "copy/sub/b.txt");
  EXPECT_EQ(rows[1].strFileHash, sha1HexDigest("b"));
  EXPECT_EQ(rows[1].nStatus, SyncStatus::kServerOnly);
  EXPECT_EQ(rows[1].nLastID, UserData::shareUserData().userID());
}

TEST_F(MoveBookkeepingTest, ACopyOntoALinkRootIsSyncPending) {
  storeFolderRow("old", SyncStatus::kServerOnly);
  const auto rows = m().getfilelist({item("old", "DOCS")});
  ASSERT_EQ(rows.size(), 1U);
  EXPECT_EQ(rows[0].nStatus, SyncStatus::kUploadPending);
  const auto renamed = m().getfilelistrename("old", "new");
  ASSERT_EQ(renamed.size(), 1U);
  EXPECT_EQ(renamed[0].strWebPath, "new");
  EXPECT_EQ(renamed[0].nStatus, SyncStatus::kUploadPending);
}

TEST_F(MoveBookkeepingTest, AddedRowsAreQueuedFromTheirHashUnderTheirOwnPath) {
  storeRow("docs/a.txt", "a", SyncStatus::kSynced);
  auto rows = m().getfilelist({item("docs/a.txt", "other/a.txt")});
  network().clear();
  m().addfile(rows, false, "");
  EXPECT_EQ(status("other/a.txt"), SyncStatus::kServerOnly);
  EXPECT_EQ(rowOf("other/a.txt").ullWebLastTime, clock().wallSeconds());
  EXPECT_EQ(upload("other/a.txt").nIndex, 0);
  EXPECT_EQ(network().count("SendCallbackAction"), 0U);

  m().addfile(rows, true, "");
  const TransportItem record = upload("other/a.txt");
  EXPECT_EQ(record.nExpand, 2);
  EXPECT_TRUE(record.strFullpath.empty());
  EXPECT_EQ(network().count("SendCallbackAction"), 1U);
}

TEST_F(MoveBookkeepingTest, DeletingAFolderMarksItsTreeAndDropsItsLinksButKeepsFiles) {
  syncedFolder("docs/sub");
  syncedFile("docs/sub/a.txt", "alpha");
  storeRow("docs/gone.txt", "g", SyncStatus::kRemovedOnServer);
  m().delfile({"docs", "docs/gone.txt"});
  EXPECT_EQ(status("docs"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(status("docs/sub/a.txt"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(status("docs/gone.txt"), SyncStatus::kDeletedLocally);  // under the folder
  EXPECT_TRUE(m().linkfolder().getLinkNodes().empty());
  EXPECT_TRUE(m().syncdb().get_links().empty());
  EXPECT_EQ(readLocal("Docs/sub/a.txt"), "alpha");
}

TEST_F(MoveBookkeepingTest, DeletingARowTheServerAlreadyDeletedChangesNothing) {
  storeRow("docs/gone.txt", "g", SyncStatus::kRemovedOnServer);
  network().clear();
  m().delfile({"docs/gone.txt"});
  EXPECT_EQ(status("docs/gone.txt"), SyncStatus::kRemovedOnServer);
  EXPECT_EQ(network().count("ClearTrans"), 0U);
}

// A move to another library, as the bridge carries it out: the rows are
// re-created in the target library and uploaded there from their hashes,
// the sources are deleted by the next commit. Nothing leaves the computer.
class CrossLibraryTest : public PageOpsWorld {
 protected:
  static constexpr int64_t kOtherId = 8;
  void SetUp() override {
    PageOpsWorld::SetUp();
    drive_->addLibrary(FakeLibrary{.mountId = kOtherId, .orgId = 4, .orgName = "Other"});
    startLinked();
  }
};

TEST_F(CrossLibraryTest, AMoveToAnotherLibraryIsCopyThenDelete) {
  syncedFile("docs/a.txt", "alpha");
  const auto target = manager(kOtherId);
  ASSERT_TRUE(target);
  const std::vector<MoveItem> items{item("docs/a.txt", "a.txt")};
  std::vector<SyncFileItem> rows = m().getfilelist(items);
  TransPortDB::shareTransPortDB().CopyTrans(items, kMountId, kOtherId);
  target->addfile(rows, true, "a.txt");
  m().delfile({"docs/a.txt"});

  settle();
  const auto copied = drive_->tree(kOtherId)->find("a.txt");
  ASSERT_TRUE(copied);
  EXPECT_EQ(copied->filehash, sha1HexDigest("alpha"));
  EXPECT_FALSE(serverHas("docs/a.txt"));
  EXPECT_EQ(target->syncdb().get_single_file("a.txt").nStatus, SyncStatus::kServerOnly);
}

}  // namespace
}  // namespace nb::test
