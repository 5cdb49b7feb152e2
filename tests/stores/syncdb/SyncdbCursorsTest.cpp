#include <gtest/gtest.h>

#include "stores/syncdb/SyncdbFixture.h"

namespace nb {
namespace {

using test::SyncdbFixture;

class SyncdbCursorsTest : public SyncdbFixture {};

TEST_F(SyncdbCursorsTest, CursorsAreMadeOnceAndFoundWithoutCase) {
  db->insert_total_version("/");
  db->insert_total_version("Docs", 500);
  SyncVersion root = db->get_total_version("/");
  EXPECT_EQ(root.strWebPath, "/");
  EXPECT_TRUE(root.bCompareInit);
  SyncVersion docs = db->get_total_version("docs");
  EXPECT_EQ(docs.strWebPath, "Docs");
  EXPECT_EQ(docs.ullDateline, 500u);
  EXPECT_FALSE(docs.bCompareInit);

  db->update_total_compareinit("/", 0);
  db->insert_total_version("/");
  EXPECT_FALSE(db->get_total_version("/").bCompareInit);

  EXPECT_TRUE(db->update_total_version({"DOCS", 900, 12, true}));
  docs = db->get_total_version("Docs");
  EXPECT_EQ(docs.ullDateline, 900u);
  EXPECT_EQ(docs.ullIndex, 12u);
  EXPECT_TRUE(db->update_total_version({"nowhere", 1, 1, false}));

  SyncVersion none = db->get_total_version("nowhere");
  EXPECT_EQ(none.strWebPath, "");
  EXPECT_EQ(none.ullDateline, 0u);
  EXPECT_EQ(none.ullIndex, 0u);
  EXPECT_FALSE(none.bCompareInit);
  EXPECT_EQ(db->get_all_version().size(), 2u);
}

TEST_F(SyncdbCursorsTest, ResyncQueueLifecycle) {
  EXPECT_EQ(db->get_sync_nowtype("a", true), 1);
  db->inset_sync_now("a", true, false);
  EXPECT_EQ(db->get_sync_nowtype("a", true), 0);
  EXPECT_EQ(db->get_sync_nowtype("a", false), 1);

  db->del_sync_now("a", true);  // queued entries stay
  ASSERT_EQ(db->get_sync_now().size(), 1u);

  db->update_sync_nowtype("A", true);
  db->update_sync_now("a", 77);
  EXPECT_EQ(db->get_sync_now()[0].ullDateline, 77u);

  // Queued again while running: back to queued, dateline 0, folder flag kept.
  db->inset_sync_now("a", false, true);
  auto entries = db->get_sync_now();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].bDir);
  EXPECT_EQ(entries[0].ullDateline, 0u);
  EXPECT_EQ(db->get_sync_nowtype("a", true), 0);
  EXPECT_EQ(db->get_overwrites(), std::vector<std::string>{"a"});

  db->inset_sync_now("b", false, 5, 1, false);
  EXPECT_EQ(db->get_sync_nowtype("b", false), 1);
  db->del_sync_now("b", false);
  EXPECT_EQ(db->get_sync_now().size(), 1u);
}

}  // namespace
}  // namespace nb
