#include <map>

#include <gtest/gtest.h>

#include "stores/syncdb/SyncdbFixture.h"

namespace nb {
namespace {

using test::SyncdbFixture;

class SyncdbWritesTest : public SyncdbFixture {};

TEST_F(SyncdbWritesTest, UpsertKeepsIdCaseAndVersionTime) {
  EXPECT_EQ(add("", false), -1);
  EXPECT_EQ(scalar("select count(*) from SYNC"), 0);

  const int64_t id = add("Docs/Report.txt", false, 1, 10);
  ASSERT_GT(id, 0);
  EXPECT_EQ(scalar("select versiontime from SYNC where id=?", {id}), 0);
  db->updateVersionTimeByWebpath("docs/report.txt", 55);

  SyncFileItem again;
  again.strWebPath = "DOCS/report.TXT";
  again.nUpID = 0;
  again.nStatus = 3;
  again.ullFileSize = 20;
  again.strLastName = "O'Brien";
  again.strProperty = R"({"note":"it's"})";
  EXPECT_EQ(db->add_new_file(again), id);
  SyncFileItem stored = db->get_single_file("docs/report.txt");
  EXPECT_EQ(stored.strWebPath, "Docs/Report.txt");
  EXPECT_EQ(stored.ullFileSize, 20u);
  EXPECT_EQ(stored.strLastName, "O'Brien");
  EXPECT_EQ(stored.strProperty, R"({"note":"it's"})");
  EXPECT_EQ(db->getVersionTimeByWebpath("Docs/Report.txt"), 55u);

  db->update_file(again);
  EXPECT_EQ(db->get_single_file("docs/report.txt").strWebPath, "DOCS/report.TXT");
  EXPECT_EQ(db->getVersionTimeByWebpath("docs/report.txt"), 55u);
}

TEST_F(SyncdbWritesTest, MissingTextsAreStoredAsEmptyTextNotNull) {
  add("f", false);
  EXPECT_EQ(scalar("select count(*) from SYNC where filehash='' and uuidhash='' and "
                   "lastname='' and property=''"),
            1);
}

TEST_F(SyncdbWritesTest, IdsAboveThirtyTwoBitsReadWhole) {
  add("big", false);
  const int64_t big = int64_t{5'000'000'000};
  db->updateErrorId(db->getID("big"), big);
  EXPECT_EQ(db->getID("big"), big);
  EXPECT_EQ(db->get_single_file("big").nID, big);
  SyncFileItem child;
  child.strWebPath = "big/c";
  child.nUpID = big;
  db->add_new_file(child);
  EXPECT_EQ(db->get_single_file("big/c").nUpID, big);
  EXPECT_GT(add("next", false), big);
}

// Subtree edge cases: siblings sharing a prefix, letter case, and "%" and
// "_" in names, which must match only themselves.
class SyncdbSubtreeTest : public SyncdbFixture {
 protected:
  void SetUp() override {
    SyncdbFixture::SetUp();
    for (const char* p : {"A", "A/b", "a/c", "a/c/d", "AB", "AB/e", "a_b", "a_b/x", "axb",
                          "axb/y", "50%", "50%/z", "50x", "50x/w", "b\\", "b\\/v", "bx/u"}) {
      add(p, std::string(p).find('/') == std::string::npos || std::string(p) == "a/c");
    }
  }
};

struct SubtreeCase {
  const char* dir;
  std::set<std::string> below;
};

TEST_F(SyncdbSubtreeTest, SubtreeSelectsOnlyRowsBelowThePath) {
  const SubtreeCase cases[] = {
      {"A", {"A/b", "a/c", "a/c/d"}},
      {"a", {"A/b", "a/c", "a/c/d"}},
      {"a/C", {"a/c/d"}},
      {"AB", {"AB/e"}},
      {"a_b", {"a_b/x"}},
      {"axb", {"axb/y"}},
      {"50%", {"50%/z"}},
      {"b\\", {"b\\/v"}},
      {"A/b", {}},
      {"", {}},
  };
  for (const auto& c : cases) {
    exec("update SYNC set status=3");
    db->update_status_deletebyparent(c.dir);
    EXPECT_EQ(pathsWithStatus(7), c.below) << c.dir;
    if (*c.dir == '\0') continue;  // empty text counts the whole library
    EXPECT_EQ(db->getFileAllCount(c.dir) + db->getFolderAllCount(c.dir), 0) << c.dir;
    exec("update SYNC set status=3");
    EXPECT_EQ(db->getFileAllCount(c.dir) + db->getFolderAllCount(c.dir),
              static_cast<int64_t>(c.below.size()))
        << c.dir;
  }
}

TEST_F(SyncdbSubtreeTest, DelDirRemovesRowAndSubtreeOnly) {
  db->del_dir("a_b");
  db->del_dir("a");
  EXPECT_EQ(allPaths(), (std::set<std::string>{"AB", "AB/e", "axb", "axb/y", "50%", "50%/z",
                                                "50x", "50x/w", "b\\", "b\\/v", "bx/u"}));
  db->del_file("AB");
  EXPECT_EQ(db->getID("AB"), -1);
  EXPECT_NE(db->getID("AB/e"), -1);
}

TEST_F(SyncdbSubtreeTest, MoveRenamesRowAndSubtreeAndResetsVersionTime) {
  exec("update SYNC set versiontime=9");
  const int64_t idA = db->getID("A");
  const int64_t upidOfChild = db->get_single_file("a/c/d").nUpID;
  ASSERT_TRUE(db->move("A", "X/Y", 42));
  EXPECT_EQ(db->getID("X/Y"), idA);
  EXPECT_EQ(db->get_single_file("X/Y").nUpID, 42);
  EXPECT_EQ(db->get_single_file("X/Y/c/d").nUpID, upidOfChild);
  for (const char* p : {"X/Y", "X/Y/b", "X/Y/c", "X/Y/c/d"}) {
    EXPECT_NE(db->getID(p), -1) << p;
    EXPECT_EQ(db->getVersionTimeByWebpath(p), 0u) << p;
  }
  EXPECT_EQ(db->getVersionTimeByWebpath("AB/e"), 9u);
  EXPECT_NE(db->getID("AB"), -1);
  EXPECT_EQ(db->getID("a/c"), -1);
}

TEST_F(SyncdbSubtreeTest, MoveBelowItselfDoesNotRenameTwice) {
  ASSERT_TRUE(db->move("axb", "axb/sub", 0));
  EXPECT_NE(db->getID("axb/sub"), -1);
  EXPECT_NE(db->getID("axb/sub/y"), -1);
  EXPECT_EQ(db->getID("axb/sub/sub"), -1);
}

// The subtree moves first; the row's own rename then collides with AB, and
// the whole move is undone, also inside a caller's open transaction.
TEST_F(SyncdbSubtreeTest, RefusedMoveChangesNothing) {
  const auto before = allPaths();
  Syncdb::Transaction transaction(*db);
  EXPECT_FALSE(db->move("A", "AB", 0));
  EXPECT_EQ(allPaths(), before);
  EXPECT_FALSE(db->rename("a_b", "axb"));
  EXPECT_EQ(allPaths(), before);
  add("later", false);
  EXPECT_NE(db->getID("later"), -1);
}

TEST_F(SyncdbSubtreeTest, RenameKeepsParentsAndVersionTimes) {
  exec("update SYNC set versiontime=9");
  const int64_t upid = db->get_single_file("a_b").nUpID;
  ASSERT_TRUE(db->rename("a_b", "c%d"));
  EXPECT_EQ(db->get_single_file("c%d").nUpID, upid);
  EXPECT_EQ(db->getVersionTimeByWebpath("c%d/x"), 9u);
  EXPECT_NE(db->getID("axb/y"), -1);
  // A change of letter case only.
  ASSERT_TRUE(db->rename("AB", "ab"));
  EXPECT_EQ(db->get_single_file("AB/e").strWebPath, "ab/e");
}

TEST_F(SyncdbSubtreeTest, StatusMarks) {
  exec("update SYNC set status=id % 10");  // a spread of 0..9
  std::map<std::string, int64_t> before;
  for (const auto& p : allPaths()) before[p] = db->get_single_file(p).nStatus;

  db->update_status_deletebyparentwheresync("A");
  for (const char* p : {"A/b", "a/c", "a/c/d"}) {
    const int64_t was = before[p];
    const bool marks = was >= 2 && was <= 5;
    EXPECT_EQ(db->get_single_file(p).nStatus, marks ? 7 : was) << p;
  }
  EXPECT_EQ(db->get_single_file("A").nStatus, before["A"]);

  exec("update SYNC set status=6 where path='AB'");
  exec("update SYNC set status=8 where path='axb'");
  db->reset_del("AB");
  db->reset_del("axb");
  EXPECT_EQ(db->get_single_file("AB").nStatus, 1);
  EXPECT_EQ(db->get_single_file("axb").nStatus, 8);
}

TEST_F(SyncdbSubtreeTest, ResetMarksThenDeletesWhatStillHoldsTheMark) {
  db->reset_dir("A");
  EXPECT_EQ(pathsWithStatus(9), (std::set<std::string>{"A/b", "a/c", "a/c/d"}));
  db->update_status("a/c", 3);
  db->delete_for_reset("A");
  EXPECT_EQ(db->getID("A/b"), -1);
  EXPECT_EQ(db->getID("a/c/d"), -1);
  EXPECT_NE(db->getID("a/c"), -1);

  db->reset_dir("");
  EXPECT_EQ(pathsWithStatus(9), allPaths());
  db->update_status("AB", 1);
  db->delete_for_reset("");
  EXPECT_EQ(allPaths(), (std::set<std::string>{"AB"}));
}

TEST_F(SyncdbSubtreeTest, LockDirCoversRowAndSubtree) {
  db->update_lock_dir("a", 2, 77);
  EXPECT_EQ(scalar("select count(*) from SYNC where lock=2 and lockid=77"), 4);
  EXPECT_EQ(db->get_single_file("AB").nLock, 0);
}

TEST_F(SyncdbWritesTest, SingleFieldUpdates) {
  add("f", false, 1);
  db->update_filesizeandlastandweblast("F", 300, 1234, 9, "Ann");
  SyncFileItem f = db->get_single_file("f");
  EXPECT_EQ(f.ullFileSize, 300u);
  EXPECT_EQ(f.ullLastTime, 1234u);
  EXPECT_EQ(f.ullWebLastTime, 1234u);
  EXPECT_EQ(f.nLastID, 9);
  EXPECT_EQ(f.strLastName, "Ann");

  db->update_lastname(9, "Bea");
  EXPECT_EQ(db->get_single_file("f").strLastName, "Bea");

  EXPECT_TRUE(db->update_finish("f", 99, 7));
  f = db->get_single_file("f");
  EXPECT_EQ(f.nStatus, 3);
  EXPECT_EQ(f.ullLastTime, 99u);
  EXPECT_EQ(db->getVersionTimeByWebpath("f"), 7u);
  EXPECT_TRUE(db->update_finish("no-such-row", 1));

  db->update_filehashandfilesize("f", std::string(40, 'a'), 5);
  db->update_uuidhash("f", "u1");
  db->update_lock("f", 1, 4);
  db->update_property("f", "{}");
  f = db->get_single_file("f");
  EXPECT_EQ(f.strFileHash, std::string(40, 'a'));
  EXPECT_EQ(f.ullFileSize, 5u);
  EXPECT_EQ(f.strUuidHash, "u1");
  EXPECT_EQ(f.nLock, 1);
  EXPECT_EQ(f.nLockID, 4);
  EXPECT_EQ(f.strProperty, "{}");
}

TEST_F(SyncdbWritesTest, ParentIdRepairsAndReListing) {
  const int64_t dir = add("d", true);
  add("d/1", false);
  add("d/2", false);
  db->updateErrorUpId(dir, 500);
  EXPECT_EQ(db->get_single_file("d/1").nUpID, 500);
  EXPECT_EQ(db->get_single_file("d/2").nUpID, 500);

  db->reset_webpath(500);
  db->update_uuidhash("d/2", "still-listed");
  db->delete_reset_webpath(500);
  EXPECT_EQ(db->getID("d/1"), -1);
  EXPECT_NE(db->getID("d/2"), -1);
}

}  // namespace
}  // namespace nb
