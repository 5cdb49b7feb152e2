#include <filesystem>

#include <gtest/gtest.h>

#include "foundation/sqlite/FMDatabaseQueue.h"
#include "stores/syncdb/SyncdbFixture.h"

namespace nb {
namespace {

using test::SyncdbFixture;

// An old-layout store beside the fixture's new one; the fixture's store is
// closed so the conversion writes the file alone.
class SyncdbConvertTest : public SyncdbFixture {
 protected:
  void SetUp() override {
    SyncdbFixture::SetUp();
    db->close();
    db.reset();
    std::filesystem::remove(path());
    old_ = FMDatabaseQueue::databaseQueueWithPath(oldPath());
    ASSERT_TRUE(old_);
    oldExec(
        "CREATE TABLE SYNC(path varchar[1000],parent varchar[1000],dir int,"
        "filehash varchar[40],uuidhash varchar[40],filesize bigint,lasttime bigint,"
        "weblasttime bigint,creatortime bigint,lock int,lockid int,status int,"
        "property varchar[1000],lastid int,lastname varchar[50])");
    oldExec("CREATE TABLE VERSION(path varchar[1000],dateline bigint)");
    oldExec("CREATE TABLE SYNCEDNOW(path varchar[1000],dir int,dateline bigint,type int,"
            "overwrite int)");
    oldExec("CREATE TABLE LINKNODE(webpath varchar[1000],fullpath varchar[1000],dir int,"
            "type int)");
    oldExec("CREATE TABLE OLDLINKNODE(webpath varchar[1000],fullpath varchar[1000],dir int,"
            "type int,dateline bigint)");
    oldExec("CREATE TABLE CACHENODE(webpath varchar[1000],fullpath varchar[1000])");
  }

  std::string oldPath() const { return (root() / "1" / "vesyncdbex.db").string(); }
  void oldExec(const std::string& sql, const SqlArgs& args = {}) {
    old_->inDatabase([&](FMDatabase& c) { ASSERT_TRUE(c.executeUpdate(sql, args)) << sql; });
  }
  void oldRow(const std::string& p, const std::string& parent, bool dir) {
    oldExec("insert into SYNC values(?,?,?,'fh','uh',7,100,200,300,1,42,3,'{}',9,'ed')",
            {p, parent, dir});
  }
  void convert() {
    old_->close();
    Syncdb::update2to3(oldPath(), path());
    db = Syncdb::initpath(path());
    ASSERT_TRUE(db);
  }

  std::shared_ptr<FMDatabaseQueue> old_;
};

TEST_F(SyncdbConvertTest, FileRowsGetNewParentIds) {
  oldRow("A", "", true);
  oldRow("A/x", "A", true);
  oldRow("A/x/y", "A/x", false);
  oldRow("B", "", false);
  oldRow("Orphan/z", "Orphan", false);  // its folder has no row
  oldRow("a", "", true);                // same path in other case: one row
  oldRow("a/w", "a", false);
  convert();

  EXPECT_EQ(allPaths(), (std::set<std::string>{"A", "A/x", "A/x/y", "B", "a/w"}));
  const int64_t a = db->getID("A");
  EXPECT_EQ(db->get_single_file("B").nUpID, 0);
  EXPECT_EQ(db->get_single_file("A").nUpID, 0);
  EXPECT_EQ(db->get_single_file("A/x").nUpID, a);
  EXPECT_EQ(db->get_single_file("A/x/y").nUpID, db->getID("A/x"));
  EXPECT_EQ(db->get_single_file("a/w").nUpID, a);

  SyncFileItem y = db->get_single_file("A/x/y");
  EXPECT_EQ(y.strFileHash, "fh");
  EXPECT_EQ(y.strUuidHash, "uh");
  EXPECT_EQ(y.ullFileSize, 7u);
  EXPECT_EQ(y.ullLastTime, 100u);
  EXPECT_EQ(y.ullWebLastTime, 200u);
  EXPECT_EQ(y.ullCreatorTime, 300u);
  EXPECT_EQ(y.nLock, 1);
  EXPECT_EQ(y.nLockID, 42);
  EXPECT_EQ(y.nStatus, 3);
  EXPECT_EQ(y.strProperty, "{}");
  EXPECT_EQ(y.nLastID, 0);
  EXPECT_EQ(y.strLastName, "");
  EXPECT_EQ(db->getVersionTimeByWebpath("A/x/y"), 0u);
}

TEST_F(SyncdbConvertTest, CorruptParentsCannotLoop) {
  // The old table does not keep paths unique, so a damaged store can hold a
  // folder again below itself or below its own child.
  oldRow("A", "", true);
  oldRow("A", "A", true);      // names itself as parent
  oldRow("A/c", "A", true);
  oldRow("a", "A/c", true);    // names its own child as parent
  oldRow("A/b", "A/b", true);  // unreachable self-parent
  oldRow("Top", "A/c", false); // not below the folder it names
  convert();
  EXPECT_EQ(allPaths(), (std::set<std::string>{"A", "A/c"}));
  EXPECT_EQ(db->get_single_file("A/c").nUpID, db->getID("A"));
}

TEST_F(SyncdbConvertTest, OtherTablesAreCopied) {
  oldExec("insert into CACHENODE values('C','/c')");
  oldExec("insert into OLDLINKNODE values('O','/o',1,2,12345)");
  oldExec("insert into LINKNODE values('L','/l',1,2)");
  oldExec("insert into SYNCEDNOW values('S',1,777,4,1)");
  oldExec("insert into VERSION values('',999)");
  convert();

  ASSERT_EQ(db->get_caches().size(), 1u);
  EXPECT_EQ(db->get_caches()[0].strFullPath, "/c");
  EXPECT_EQ(db->get_oldlink("O"), "/o");
  EXPECT_EQ(scalar("select dateline from OLDLINKNODE"), 12345);
  auto links = db->get_links();
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].strWebPath, "L");
  EXPECT_TRUE(links[0].bDir);
  EXPECT_EQ(links[0].nType, 2);
  auto queued = db->get_sync_now();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(scalar("select dateline from SYNCEDNOW where path='S'"), 777);
  EXPECT_EQ(scalar("select type from SYNCEDNOW where path='S'"), 4);
  EXPECT_EQ(scalar("select overwrite from SYNCEDNOW where path='S'"), 1);
  SyncVersion cursor = db->get_total_version("");
  EXPECT_EQ(cursor.ullDateline, 999u);
  EXPECT_EQ(cursor.ullIndex, 0u);
  EXPECT_FALSE(cursor.bCompareInit);
}

TEST_F(SyncdbConvertTest, MissingOldFileGivesEmptyStore) {
  old_->close();
  old_.reset();
  std::filesystem::remove(oldPath());
  Syncdb::update2to3(oldPath(), path());
  EXPECT_FALSE(std::filesystem::exists(oldPath()));
  db = Syncdb::initpath(path());
  ASSERT_TRUE(db);
  EXPECT_EQ(scalar("select count(*) from SYNC"), 0);
}

}  // namespace
}  // namespace nb
