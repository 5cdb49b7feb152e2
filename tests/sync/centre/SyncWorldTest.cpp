// The sync test world itself: what later sync tests stand on.
#include <gtest/gtest.h>

#include "foundation/text/StringHelpers.h"
#include "stores/syncdb/SyncStatus.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb {
namespace {

class SyncWorldTest : public test::SyncWorld {};

TEST_F(SyncWorldTest, TreesCompareAsAUserWould) {
  putServerFile("docs/a.txt", "alpha");
  addServerFolder("docs/empty");
  writeLocal("Docs/a.txt", "alpha");
  makeLocalFolder("Docs/empty");
  const test::Tree expected{{"a.txt", {false, sha1HexDigest("alpha")}}, {"empty", {true, ""}}};
  EXPECT_EQ(serverTree("docs"), expected);
  EXPECT_EQ(localTree("Docs"), expected);

  renameServer("docs/a.txt", "b.txt");
  removeLocal("Docs/empty");
  EXPECT_EQ(serverTree("docs").count("b.txt"), 1U);
  EXPECT_EQ(localTree("Docs").count("empty"), 0U);
  // Server edits carry the world's clock.
  EXPECT_EQ(tree().changes().back().dateline, clock().wallSeconds());
}

TEST_F(SyncWorldTest, LinkedFolderReachesTheStartedManager) {
  linkFolder("docs", "Docs");
  EXPECT_EQ(manager(), nullptr);
  runCoordinatorPass();
  const auto m = manager();
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->bStart());
  EXPECT_EQ(m->getnormalpath("docs/a.txt"), local("Docs/a.txt").string());

  SyncFileItem row;
  row.strWebPath = "docs/a.txt";
  row.nUpID = 0;
  row.nStatus = SyncStatus::kSynced;
  m->syncdb().add_new_file(row);
  EXPECT_EQ(storeRows(), (test::Rows{{"docs/a.txt", {SyncStatus::kSynced, false, ""}}}));

  // A compare pass runs on the compare queue and releases the library.
  runComparePass();
  EXPECT_FALSE(m->bInWork);
}

}  // namespace
}  // namespace nb
