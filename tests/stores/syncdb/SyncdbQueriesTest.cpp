#include <gtest/gtest.h>

#include "stores/syncdb/SyncdbFixture.h"

namespace nb {
namespace {

using test::SyncdbFixture;
using Paths = std::vector<std::string>;

class SyncdbQueriesTest : public SyncdbFixture {
 protected:
  // Adds a file with a size and a server time under parent `upid`.
  void file(const std::string& p, uint64_t size, uint64_t webTime, int64_t status = 3) {
    add(p, false, status, size);
    db->update_weblasttime(p, webTime);
  }
};

TEST_F(SyncdbQueriesTest, NotFoundAnswers) {
  EXPECT_EQ(db->getID("nothing"), -1);
  for (const SyncFileItem& item : {db->get_single_file("nothing"), db->getFileInfoById(12),
                                   db->get_uuidhash_file("u"), db->get_error_sub("nothing")}) {
    EXPECT_EQ(item.nStatus, -1);
    EXPECT_EQ(item.nID, -1);
    EXPECT_EQ(item.nUpID, -1);
    EXPECT_EQ(item.strWebPath, "");
  }
  EXPECT_EQ(db->get_synced_hash("h"), "");
  EXPECT_EQ(db->getVersionTimeByWebpath("nothing"), 0u);
  EXPECT_EQ(db->getFileAllSize(""), 0u);
  EXPECT_TRUE(db->get_all_upload_by_path(0).empty());
}

struct SortCase {
  uint64_t start, count;
  const char* sort;
  const char* sorttype;
  const char* clause;
};

TEST(SyncdbSortString, Clauses) {
  const SortCase cases[] = {
      {0, 50, "filesize", "desc", "order by dir asc,filesize desc,path collate pinyinasc limit 0,50"},
      {0, 0, "last_edit_time", "asc",
       "order by dir desc,weblasttime asc,path collate pinyinasc"},
      {0, 0, "filesize", "DESC", "order by dir desc,filesize asc,path collate pinyinasc"},
      {0, 0, "name", "asc", "order by dir desc,path collate pinyinasc"},
      {10, 20, "", "desc", "order by dir asc,path collate pinyindesc limit 10,20"},
      {3, 4, "Filesize", "asc", "order by dir desc,path collate pinyinasc limit 3,4"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Syncdb::get_sort_string(c.start, c.count, c.sort, c.sorttype), c.clause);
  }
}

TEST_F(SyncdbQueriesTest, ChildListsFollowTheOrderClause) {
  const int64_t top = add("top", true);
  add("top/Beta", true);
  add("top/alpha", true);
  file("top/b.txt", 30, 100);
  file("top/A.txt", 10, 300);
  file("top/c.txt", 20, 200);
  file("top/z.txt", 99, 999, 6);
  const auto sorted = [&](uint64_t start, uint64_t count, const char* key, const char* dir) {
    return paths(db->get_all_fileanddir(top, Syncdb::get_sort_string(start, count, key, dir)));
  };
  EXPECT_EQ(sorted(0, 0, "name", "asc"),
            (Paths{"top/alpha", "top/Beta", "top/A.txt", "top/b.txt", "top/c.txt"}));
  EXPECT_EQ(sorted(0, 0, "name", "desc"),
            (Paths{"top/c.txt", "top/b.txt", "top/A.txt", "top/Beta", "top/alpha"}));
  EXPECT_EQ(sorted(0, 0, "filesize", "desc"),
            (Paths{"top/b.txt", "top/c.txt", "top/A.txt", "top/alpha", "top/Beta"}));
  EXPECT_EQ(sorted(0, 0, "last_edit_time", "asc"),
            (Paths{"top/alpha", "top/Beta", "top/b.txt", "top/c.txt", "top/A.txt"}));
  EXPECT_EQ(sorted(1, 2, "name", "asc"), (Paths{"top/Beta", "top/A.txt"}));
  EXPECT_EQ(paths(db->get_all_dir(top, Syncdb::get_sort_string(0, 0, "name", "asc"))),
            (Paths{"top/alpha", "top/Beta"}));
  EXPECT_EQ(db->getFileCount(top), 3);
  EXPECT_EQ(db->getFolderCount(top), 2);
  EXPECT_EQ(db->get_all_fileanddir(top, "").size(), 5u);
  EXPECT_EQ(db->get_all_fileanddir(0, "").size(), 1u);
}

TEST_F(SyncdbQueriesTest, OrderClauseMustBeOneThatGetSortStringMakes) {
  const int64_t top = add("top", true);
  add("top/x", false);
  EXPECT_TRUE(db->get_all_fileanddir(top, "; drop table SYNC").empty());
  EXPECT_TRUE(db->get_all_dir(top, "order by (select 1)").empty());
  EXPECT_NE(db->getID("top/x"), -1);
}

struct ByTimeCase {
  int64_t start, count;
  Paths expected;
};

TEST_F(SyncdbQueriesTest, ByTimePaging) {
  for (int i = 1; i <= 7; ++i) file("f" + std::to_string(i), 1, 100 * i);
  add("folder", true);
  file("gone", 1, 9999, 7);
  const ByTimeCase cases[] = {
      {0, 0, {"f7", "f6", "f5", "f4", "f3", "f2", "f1"}},
      {5, 0, {"f2"}},
      {0, 2, {"f7", "f6"}},
      {1, 2, {"f6", "f5"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(paths(db->get_all_bytime(c.start, c.count)), c.expected) << c.start << "," << c.count;
  }
}

TEST_F(SyncdbQueriesTest, DeletedSetsListTopMostFolders) {
  add("D", true, 7);
  add("D/E", true, 7);
  add("F", true, 3);
  add("F/G", true, 6);
  add("F/h", false, 6);
  add("a", false, 7);
  EXPECT_EQ(paths(db->get_all_deleted_dir()), (Paths{"D", "F/G"}));
  EXPECT_EQ(paths(db->get_all_deleted_file()), (Paths{"a", "F/h"}));
}

TEST_F(SyncdbQueriesTest, CountsLeaveOutMarkedAndSettledRows) {
  add("d", true, 1);
  for (int s = 1; s <= 9; ++s) add("d/f" + std::to_string(s), false, s, 10);
  add("d/empty", true, 3);
  EXPECT_EQ(db->getsyncstatuscount(""), 7);  // d itself plus 1, 2, 6, 7, 8, 9
  EXPECT_EQ(db->getsyncstatuscount("d"), 7);
  EXPECT_EQ(db->getsyncstatuscount("d/f3"), 0);
  EXPECT_EQ(db->getFileAllCount("d"), 7);
  EXPECT_EQ(db->getFileAllSize("d"), 70u);
  EXPECT_EQ(db->getFileAllSize("d/empty"), 0u);
  EXPECT_EQ(db->getFolderAllCount("d"), 1);
  EXPECT_EQ(db->getFolderAllCount(""), 2);
  EXPECT_EQ(db->checkHaveFileInfo(), 1);
}

TEST_F(SyncdbQueriesTest, LookupsAndSubtreeLists) {
  add("d", true, 1);
  add("d/b", false, 3);
  add("d/a", false, 6);
  add("d/s", true, 2);
  add("d/s/x", false, 8);
  add("dx", false, 1);
  EXPECT_EQ(db->get_error_sub("D").strWebPath, "d/a");
  const auto all = db->get_all("d");  // folders first; no order inside the groups
  ASSERT_EQ(all.size(), 4u);
  EXPECT_TRUE(all[0].bDir && all[1].bDir && !all[2].bDir && !all[3].bDir);
  const auto allPaths = paths(all);
  EXPECT_EQ(std::set<std::string>(allPaths.begin(), allPaths.end()),
            (std::set<std::string>{"d", "d/s", "d/b", "d/s/x"}));
  EXPECT_TRUE(db->is_upload_by_path("d"));
  EXPECT_FALSE(db->is_upload_by_path("d/s/x"));
  db->update_status("d/s/x", 3);
  EXPECT_FALSE(db->is_upload_by_path("d"));  // d's own status 1 does not count

  const auto trans = paths(db->get_trans_files("d"));
  EXPECT_EQ(std::set<std::string>(trans.begin(), trans.end()), (std::set<std::string>{"d", "d/s"}));
  EXPECT_EQ(db->get_trans_files("").size(), 3u);

  db->update_filehashandfilesize("d/b", "h1", 1);
  db->update_filehashandfilesize("dx", "h1", 1);
  EXPECT_EQ(db->get_synced_hash("h1"), "d/b");
  db->update_status("d/b", 4);
  EXPECT_EQ(db->get_synced_hash("h1"), "");

  db->update_uuidhash("d/b", "u");
  db->update_uuidhash("dx", "u");
  EXPECT_FALSE(db->get_uuidhash_file("u").strWebPath.empty());
  EXPECT_EQ(db->getFileInfoById(db->getID("dx")).strWebPath, "dx");
}

TEST_F(SyncdbQueriesTest, MarkDeleteSetsSkipStatusesFourToSeven) {
  const int64_t d = add("d", true);
  for (int s = 1; s <= 9; ++s) {
    add("d/f" + std::to_string(s), false, s);
    add("d/g" + std::to_string(s), true, s);
  }
  EXPECT_EQ(paths(db->get_all_filesformarkdelete(d)).size(), 5u);
  EXPECT_EQ(paths(db->get_all_dirformarkdelete(d)).size(), 5u);
}

}  // namespace
}  // namespace nb
