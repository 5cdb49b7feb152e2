// Opening the transfer store: schema, upgrades, start-up clean-up and the
// rules every statement follows.

#include "stores/transfer/TransPortDB.h"

#include <memory>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include "platform/Log.h"
#include "stores/transfer/TransPortDBFixture.h"

namespace nb::test {
namespace {

using TransPortDBOpenTest = TransPortDBTestBase;

TEST_F(TransPortDBOpenTest, NewFileHasEveryTableIndexAndColumn) {
  EXPECT_EQ(number("select count(*) from sqlite_master where type = 'table' and name in "
                   "('Download', 'Upload', 'OPENHISTORY', 'TaskDir')"),
            4);
  EXPECT_EQ(number("select count(*) from sqlite_master where type = 'index' and name in "
                   "('dstatus', 'dmwf', 'dai', 'dsmw', 'dfilehash', "
                   "'ustatus', 'umw', 'uai', 'usmw', 'usa')"),
            10);
  bool columns = false;
  store.inDatabase([&](FMDatabase& db) {
    columns = columnExists(db, "Download", "stat") && columnExists(db, "Upload", "parentpath") &&
              columnExists(db, "Upload", "last") && !columnExists(db, "Upload", "stat") &&
              columnExists(db, "OPENHISTORY", "uploadtime");
  });
  EXPECT_TRUE(columns);
}

TEST_F(TransPortDBOpenTest, OlderFileGetsItsLaterColumnsBackFilledOnce) {
  const std::string old = (root() / "old.db").string();
  {
    FMDatabase db(old);
    ASSERT_TRUE(db.open());
    ASSERT_TRUE(db.executeUpdate(
        "create table OPENHISTORY(mountid int, webpath varchar[1000] COLLATE NOCASE, "
        "fullpath varchar[1000] COLLATE NOCASE, filesize bigint, last bigint)"));
    ASSERT_TRUE(db.executeUpdate(
        "create table Download(id INTEGER PRIMARY KEY AUTOINCREMENT, mountid int, "
        "webpath varchar[1000] COLLATE NOCASE, fullpath varchar[1000] COLLATE NOCASE, "
        "filehash varchar[40], filesize bigint, dir int, status int, offset bigint, "
        "actlast bigint, expand int, sync int, errornum int, errormsg varchar [1024])"));
    ASSERT_TRUE(db.executeUpdate("insert into OPENHISTORY values(1, '/a', '/l/a', 5, 777)"));
    ASSERT_TRUE(db.executeUpdate(
        "insert into Download(mountid, webpath, fullpath, status) values(1, '/a', '/l/a', 2)"));
  }
  store.setPath(old);
  EXPECT_EQ(number("select uploadtime from OPENHISTORY"), 777);
  EXPECT_EQ(text("select typeof(stat) from Download"), "integer");

  // A second opening finds the columns and back-fills nothing.
  exec("update OPENHISTORY set uploadtime = 5");
  exec("update Download set stat = 1");
  TransPortDB again;
  again.setSession(*user, *cache);
  again.setPath(old);
  EXPECT_EQ(number("select uploadtime from OPENHISTORY"), 5);
  EXPECT_EQ(number("select stat from Download"), 1);
}

TEST_F(TransPortDBOpenTest, ATableThatCannotBeMadeIsLoggedAndTheRestIsMade) {
  const std::string odd = (root() / "odd.db").string();
  {
    FMDatabase db(odd);
    ASSERT_TRUE(db.open());
    ASSERT_TRUE(db.executeUpdate("create table other(a int)"));
    ASSERT_TRUE(db.executeUpdate("create index TaskDir on other(a)"));  // takes the name
  }
  std::ostringstream out;
  auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(out);
  platform::addLogSink(sink);
  TransPortDB reopened;
  reopened.setSession(*user, *cache);
  reopened.setPath(odd);
  platform::removeLogSink(sink);

  EXPECT_NE(out.str().find("error to create TaskDir"), std::string::npos);
  EXPECT_EQ(out.str().find("error to create Download"), std::string::npos);
  ASSERT_TRUE(reopened.nodeArray().has_value());
  EXPECT_TRUE(reopened.nodeArray()->empty());
  TransportItem item = record(1, "/a");
  EXPECT_TRUE(reopened.Add_Upload(item, "/"));
  EXPECT_EQ(reopened.GetUploadCount(), 1);
}

// The file a client leaves behind when it ends in the middle of transfers:
// every status, errors on the failed rows, finished rows of every kind.
class TransPortDBAbnormalEndTest : public TransPortDBTestBase {
 protected:
  void SetUp() override {
    TransPortDBTestBase::SetUp();
    for (const char* table : {"Download", "Upload"}) {
      const std::string insert =
          std::string("insert into ") + table +
          "(id, mountid, webpath, fullpath, filesize, status, offset, actlast, expand, sync, "
          "errornum, errormsg) values(?, 7, ?, '', 100, ?, 10, ?, ?, 0, ?, ?)";
      exec(insert, {1, "/running", 1, kNow - 5, 0, 0, ""});
      exec(insert, {2, "/waiting", 2, kNow + 60, 0, 0, ""});
      exec(insert, {3, "/stopped", 3, kNow - 9, 0, 0, ""});
      exec(insert, {4, "/finished", 4, kNow - 7, 0, 0, ""});
      exec(insert, {5, "/finished-reopened", 4, kNow - 7, 1, 0, ""});
      exec(insert, {6, "/failed", 5, kNow - 3, 0, 1001, "timeout"});
      exec(insert, {7, "/failed-beyond", 9, kNow - 3, 0, 7, "odd"});
    }
    exec("insert into TaskDir values(7, '/folder', '/home/u/folder')");
    exec("insert into TaskDir values(8, '/other', '')");
  }

  struct Row {
    std::int64_t status, errornum, actlast;
    std::string errormsg;
  };
  Row row(const char* table, int id) {
    const std::string where = std::string(" from ") + table + " where id = ?";
    return {number("select status" + where, {id}), number("select errornum" + where, {id}),
            number("select actlast" + where, {id}), text("select errormsg" + where, {id})};
  }
};

TEST_F(TransPortDBAbnormalEndTest, OpeningLeavesOnlyWaitingStoppedAndReopenedUploads) {
  TransPortDB reopened;
  reopened.setSession(*user, *cache);
  reopened.setPath(path());

  for (const char* table : {"Download", "Upload"}) {
    SCOPED_TRACE(table);
    for (int id : {1, 6, 7}) {  // running and failed: back to waiting, offered at once
      const Row r = row(table, id);
      EXPECT_EQ(r.status, kTransWaiting) << id;
      EXPECT_EQ(r.errornum, 0) << id;
      EXPECT_EQ(r.errormsg, "") << id;
      EXPECT_EQ(r.actlast, 0) << id;
    }
    EXPECT_EQ(row(table, 2).actlast, static_cast<std::int64_t>(kNow + 60));  // untouched
    EXPECT_EQ(row(table, 3).status, kTransStopped);
    EXPECT_EQ(number(std::string("select count(*) from ") + table + " where id = 4"), 0);
    EXPECT_EQ(number(std::string("select offset from ") + table + " where id = 1"), 10);
  }
  // Only the finished upload of an opened file survives.
  EXPECT_EQ(number("select count(*) from Download where id = 5"), 0);
  EXPECT_EQ(number("select status from Upload where id = 5"), kTransFinished);
}

TEST_F(TransPortDBAbnormalEndTest, FolderTasksAreLoadedAndDroppedAtSignOut) {
  TransPortDB reopened;
  reopened.setSession(*user, *cache);
  EXPECT_FALSE(reopened.nodeArray().has_value());
  reopened.setPath(path());

  const auto tasks = reopened.nodeArray();
  ASSERT_TRUE(tasks.has_value());
  ASSERT_EQ(tasks->size(), 2u);
  EXPECT_EQ((*tasks)[0].nMountID, 7);
  EXPECT_EQ((*tasks)[0].strWebpath, "/folder");
  EXPECT_EQ((*tasks)[0].strFullpath, "/home/u/folder");
  EXPECT_FALSE((*tasks)[0].bFinish);
  EXPECT_EQ((*tasks)[1].strFullpath, "");

  reopened.exit();
  EXPECT_FALSE(reopened.nodeArray().has_value());
  EXPECT_EQ(reopened.GetUploadCount(), 5);  // the connection stays usable
}

TEST(TransPortDBUnopenedTest, OperationsBeforeOpeningAnswerEmptyResults) {
  TransPortDB store;
  TransportItem item;
  item.strWebpath = "/a";
  EXPECT_FALSE(store.Add_Upload(item, "/"));
  store.Add_Download(item);
  store.Update_UploadFinish(1);
  store.StartDownloadAll();
  EXPECT_TRUE(store.Get_Uploads().empty());
  EXPECT_TRUE(store.Get_AllDownload(0, 10).empty());
  EXPECT_EQ(store.Get_Upload(1).nIndex, 0);
  EXPECT_EQ(store.GetDownloadCountAll(), 0);
  EXPECT_FALSE(store.Check_Upload(1, "/a", true));
  EXPECT_EQ(store.Check_DownloadFinishByHash(std::string(40, 'a')), "");
  EXPECT_TRUE(store.GetTaskDirs().empty());
}

using TransPortDBRowsTest = TransPortDBTestBase;

TEST_F(TransPortDBRowsTest, IdsBeyond32BitsTravelBothWays) {
  const std::int64_t id = (std::int64_t{1} << 40) + 3;
  const std::int64_t mountid = (std::int64_t{1} << 35) + 1;
  exec("insert into Upload(id, mountid, webpath, status, filesize, offset, actlast) "
       "values(?, ?, '/big', 2, 10, 0, 0)",
       {id, mountid});

  EXPECT_EQ(store.Get_Upload(id).nMountid, mountid);
  const auto jobs = store.Get_Uploads();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].nIndex, id);
  EXPECT_EQ(jobs[0].nMountid, mountid);

  store.Update_UploadStop(id, 4);
  EXPECT_EQ(store.Get_Upload(mountid, "/big").nStatus, kTransStopped);
  TransportItem next = record(mountid, "/big2");
  store.Add_Upload(next, "/");
  EXPECT_EQ(store.Get_Upload(mountid, "/big2").nIndex, id + 1);
}

TEST_F(TransPortDBRowsTest, OffsetBeyondTheSizeReadsAsTheSize) {
  exec("insert into Download(mountid, webpath, fullpath, status, filesize, offset, actlast, "
       "expand) values(1, '/a', '/l/a', 2, 100, 250, 0, 0)");
  EXPECT_EQ(store.Get_Download(1, "/a", "/l/a").ullOffset, 100u);
  const auto jobs = store.Get_Downloads();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].ullOffset, 100u);
  EXPECT_EQ(number("select offset from Download"), 250);  // the row itself is left alone
}

// Every "at or under" rule: the path itself and its real descendants, ASCII
// case ignored, quotes stored as they are, no wildcard.
TEST_F(TransPortDBRowsTest, AtOrUnderMatchesOnlyThePathAndItsDescendants) {
  const std::string base = "/It's 100%_done";
  for (const std::string& webpath : std::vector<std::string>{base, base + "/child", "/it'S 100%_DONE/Child/deep", base + "x", "/It's 100%Xdone/a",
        "/It's 100%_done2/a", "/other"}) {
    TransportItem item = record(1, webpath);
    ASSERT_TRUE(store.Add_Upload(item, base));
    store.Add_Download(item);
  }
  TransportItem elsewhere = record(2, base + "/child");
  store.Add_Upload(elsewhere, "/");

  EXPECT_EQ(store.Get_Uploads(1, base).size(), 3u);
  EXPECT_EQ(store.Get_Upload(1, base).strWebpath, base);
  EXPECT_TRUE(store.Check_Upload(1, "/IT'S 100%_DONE/child", false));
  EXPECT_FALSE(store.Check_Download(1, "/It's 100%", true));

  store.Remove_Download(1, base);
  store.Remove_Upload(1, base);
  EXPECT_EQ(store.GetDownloadCountAll(), 4);
  EXPECT_EQ(store.GetUploadCount(), 5);
  EXPECT_EQ(store.Get_Upload(2, base + "/child").strWebpath, base + "/child");
  EXPECT_EQ(store.Get_Upload(1, "/It's 100%Xdone/a").strWebpath, "/It's 100%Xdone/a");
}

}  // namespace
}  // namespace nb::test
