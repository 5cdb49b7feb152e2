// Records queued for rows, the page form of a row and the events carrying it.
#include <gtest/gtest.h>

#include "foundation/json/Json.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/server/ServerDecisionWorld.h"

namespace nb::test {
namespace {

class TransferSubmissionTest : public ServerDecisionWorld {
 protected:
  void SetUp() override {
    ServerDecisionWorld::SetUp();
    startLinked();
  }
  JsonValue pageOf(const std::string& path) {
    SyncFileItem row = rowOf(path);
    return m().SyncFileItemToDictionary(row);
  }
};

TEST_F(TransferSubmissionTest, TheUploadKindFollowsRowStatusLocalPathAndOpenFlag) {
  struct Case {
    const char* path;
    int64_t status;
    bool withLocal;
    std::optional<bool> open;  // unset: the form without the flag
    int64_t expand;
    bool rowHash;
  };
  const Case cases[] = {
      {"docs/a", SyncStatus::kUploadPending, true, {}, 0, true},
      {"docs/b", SyncStatus::kReupload, true, {}, 3, true},
      {"docs/c", SyncStatus::kReupload, false, {}, 2, true},  // 2 wins over 3
      {"docs/d", SyncStatus::kUploadPending, true, false, 0, false},
      {"docs/e", SyncStatus::kUploadPending, false, false, 2, true},
      {"docs/f", SyncStatus::kReupload, true, true, 1, false},
      {"docs/g", SyncStatus::kUploadPending, false, true, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const SyncFileItem row = storeRow(c.path, c.path, c.status);
    const std::string from = c.withLocal ? local(c.path).string() : "";
    const bool queued = c.open ? m().Add_Upload(row, from, true, "docs", *c.open)
                               : m().Add_Upload(row, from, true, "docs");
    ASSERT_TRUE(queued);
    const TransportItem record = upload(c.path);
    EXPECT_EQ(record.nExpand, c.expand);
    EXPECT_EQ(record.strFilehash, c.rowHash ? row.strFileHash : "");
    EXPECT_EQ(record.ullLast, row.ullLastTime);
    EXPECT_EQ(record.nStatus, kTransWaiting);
  }
}

TEST_F(TransferSubmissionTest, ALiveTransferOverridesThePageStatusButNotTheStore) {
  storeRow("docs/up.txt", "u", SyncStatus::kSynced);
  storeRow("docs/down.txt", "d", SyncStatus::kSynced);
  storeRow("docs/done.txt", "f", SyncStatus::kSynced);
  m().Add_Upload(rowOf("docs/up.txt"), local("Docs/up.txt").string(), true, "docs");
  m().ADD_Download(rowOf("docs/down.txt"), local("Docs/down.txt").string(), true, 0);
  m().Add_Upload(rowOf("docs/done.txt"), local("Docs/done.txt").string(), true, "docs");
  TransPortDB::shareTransPortDB().Update_UploadFinish(upload("docs/done.txt").nIndex);

  EXPECT_EQ(pageOf("docs/up.txt")["status"].toInt64(), 1);
  EXPECT_EQ(pageOf("docs/down.txt")["status"].toInt64(), 2);
  EXPECT_EQ(pageOf("docs/done.txt")["status"].toInt64(), 3);
  EXPECT_EQ(rowOf("docs/up.txt").nStatus, SyncStatus::kSynced);
}

TEST_F(TransferSubmissionTest, OfflineOnlyContentAtHandCountsAsHave) {
  storeRow("docs/here.txt", "h", SyncStatus::kSynced);
  storeRow("docs/gone.txt", "g", SyncStatus::kSynced);
  writeLocal("Docs/here.txt", "h");
  EXPECT_EQ(pageOf("docs/gone.txt")["have"].toInt64(), 1) << "online every row can be opened";
  app().setLinkNetwork(false);
  EXPECT_EQ(pageOf("docs/here.txt")["have"].toInt64(), 1);
  EXPECT_EQ(pageOf("docs/gone.txt")["have"].toInt64(), 0);
}

TEST_F(TransferSubmissionTest, ARowOutsideTheLinksShowsNoLinkAndNoFavourites) {
  storeRow("other/x.txt", "x", 9);
  const JsonValue page = pageOf("other/x.txt");
  EXPECT_EQ(page["synctype"].toInt64(), -1);
  EXPECT_EQ(page["sync"].toInt64(), 0);
  EXPECT_EQ(page["status"].toInt64(), 3);
  EXPECT_FALSE(page.contains("favorites"));
}

TEST_F(TransferSubmissionTest, EventsGoToTheWindowsOfTheFolderWithTheLibraryId) {
  storeRow("docs/a.txt", "a", SyncStatus::kSynced);
  const auto shown = app().addWindow(kMountId, "docs");
  const auto other = app().addWindow(kMountId, "elsewhere");
  m().SendUpdateFileInfoByWebpath("docs/a.txt");
  ASSERT_EQ(shown->events().size(), 1u);
  EXPECT_TRUE(other->events().empty());
  const auto detail = objectFromJSONString(shown->events()[0].detail());
  ASSERT_TRUE(detail);
  EXPECT_EQ((*detail)["mount_id"].toInt64(), kMountId);
  EXPECT_EQ((*detail)["path"].toText(), "docs/a.txt");
}

TEST_F(TransferSubmissionTest, SaveAsQueuesTheFolderBelowTheTargetAndNothingOutsideIt) {
  storeFolderRow("docs/f", SyncStatus::kSynced);
  storeRow("docs/f/a.txt", "a", SyncStatus::kSynced);
  storeRow("docs/f/gone.txt", "g", SyncStatus::kRemovedOnServer);
  storeRow("docs/f/../../escape.txt", "e", SyncStatus::kSynced);
  const std::string target = (home() / "Saved" / "f").string();
  m().gSaveAs("docs/f", target + "/");
  EXPECT_EQ(download("docs/f").strFullpath, target + "/");
  EXPECT_EQ(download("docs/f/a.txt").strFullpath, target + "/a.txt");
  EXPECT_FALSE(download("docs/f/a.txt").bSync);
  EXPECT_EQ(download("docs/f/gone.txt").nIndex, 0);
  EXPECT_EQ(download("docs/f/../../escape.txt").nIndex, 0);
}

}  // namespace
}  // namespace nb::test
