// The download queue of the transfer store.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stores/transfer/TransPortDB.h"
#include "stores/transfer/TransPortDBFixture.h"

namespace nb::test {
namespace {

class TransPortDBDownloadTest : public TransPortDBTestBase {
 protected:
  // A row put straight into the table, with every column that matters here.
  void put(std::int64_t id, std::int64_t status, std::int64_t actlast, std::int64_t expand = 0,
           bool sync = false, const std::string& webpath = "") {
    exec("insert into Download(id, mountid, webpath, fullpath, filehash, filesize, dir, status, "
         "offset, actlast, expand, sync, errornum, errormsg, stat) "
         "values(?, 1, ?, '/l', ?, 100, 0, ?, 0, ?, ?, ?, 0, '', 1)",
         {id, webpath.empty() ? "/f" + std::to_string(id) : webpath, std::string(40, 'b'), status,
          actlast, expand, sync});
  }
  static std::vector<std::int64_t> ids(const auto& records) {
    std::vector<std::int64_t> out;
    for (const auto& r : records) out.push_back(r.nIndex);
    return out;
  }
};

TEST_F(TransPortDBDownloadTest, QueuingTwiceMergesIntoOneRow) {
  TransportItem item = record(3, "/doc.txt", "/home/u/doc.txt");
  item.nStat = 1;
  store.Add_Download(item);
  TransportItem again = record(3, "/DOC.txt", "/home/u/doc.txt");
  again.ullFilesize = 2000;
  again.nExpand = 1;
  store.Add_Download(again);

  EXPECT_EQ(store.GetDownloadCountAll(), 1);
  const TransportItem row = store.Get_Download(3, "/doc.txt", "/home/u/doc.txt");
  EXPECT_EQ(row.ullFilesize, 2000u);
  EXPECT_EQ(row.nExpand, 1);
  EXPECT_EQ(row.strWebpath, "/doc.txt");  // the key columns stay as first stored

  // The same web path with another local target is another download.
  TransportItem copy = record(3, "/doc.txt", "/home/u/copy/doc.txt");
  store.Add_Download(copy);
  EXPECT_EQ(store.GetDownloadCountAll(), 2);
}

// Queuing again over a row in each status: the status written, the offset
// the row keeps and hands back, and the error cleared.
TEST_F(TransPortDBDownloadTest, QueuingAgainFollowsTheRowsStatus) {
  struct Case {
    std::int64_t rowStatus;
    std::int64_t wantStatus;
    std::uint64_t wantOffset;
  };
  const Case cases[] = {
      {kTransStopped, kTransStopped, 500},   // a stopped row stays stopped
      {kTransFinished, kTransWaiting, 0},    // a finished row restarts from 0
      {kTransFailed, kTransWaiting, 500},    // a failed row resumes
      {kTransRunning, kTransWaiting, 500},
  };
  std::int64_t mountid = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rowStatus);
    TransportItem first = record(++mountid, "/a");
    store.Add_Download(first);
    const std::int64_t id = store.Get_Download(mountid, "/a").nIndex;
    exec("update Download set status = ?, offset = 500, errornum = 9, errormsg = 'x' "
         "where id = ?",
         {c.rowStatus, id});

    TransportItem again = record(mountid, "/a");
    again.ullOffset = 77;
    store.Add_Download(again);
    EXPECT_EQ(again.ullOffset, c.wantOffset);
    const TransportItem row = store.Get_Download(mountid, "/a", "/home/u/f");
    EXPECT_EQ(row.nIndex, id);
    EXPECT_EQ(row.nStatus, c.wantStatus);
    EXPECT_EQ(row.ullOffset, c.wantOffset);
    EXPECT_EQ(row.nError, 0);
    EXPECT_EQ(row.strError, "");
  }
}

// A waiting record is held back while its activity time lies in
// [now, now + 600]; beyond that window on either side it is offered.
TEST_F(TransPortDBDownloadTest, NextJobsSkipThePostponementWindow) {
  const auto now = static_cast<std::int64_t>(kNow);
  put(1, kTransWaiting, now);
  put(2, kTransWaiting, now + 600);
  put(3, kTransWaiting, now + 601);
  put(4, kTransWaiting, now - 1);
  put(5, kTransWaiting, 0);
  put(6, kTransStopped, 0);
  put(7, kTransRunning, 0);
  put(8, kTransFailed, 0);
  EXPECT_EQ(ids(store.Get_Downloads()), (std::vector<std::int64_t>{5, 4, 3}));

  // A task postponed for 60 s comes back once the time has passed it, while
  // the window moves over the one that lay just beyond it.
  store.Update_DownloadActlast(5, kTransWaiting, kNow + 60);
  EXPECT_EQ(ids(store.Get_Downloads()), (std::vector<std::int64_t>{4, 3}));
  clock->advance(std::chrono::seconds(61));
  EXPECT_EQ(ids(store.Get_Downloads()), (std::vector<std::int64_t>{4, 1, 5}));
}

TEST_F(TransPortDBDownloadTest, NextJobsComeHiddenFirstThenOldestThenLowestId) {
  put(1, kTransWaiting, 5, 0);
  put(2, kTransWaiting, 3, 1);
  put(3, kTransWaiting, 9, 256);
  put(4, kTransWaiting, 1, 0);
  put(5, kTransWaiting, 3, 1);
  put(6, kTransWaiting, 2, 256);
  EXPECT_EQ(ids(store.Get_Downloads()), (std::vector<std::int64_t>{6, 3, 2, 5, 4, 1}));

  const TransTaskItem task = store.Get_Downloads()[0];
  EXPECT_EQ(task.strSavepath, "/l");
  EXPECT_EQ(task.nStat, 1);
  EXPECT_EQ(task.ullFilesize, 100u);
}

TEST_F(TransPortDBDownloadTest, NextJobsStopAtAThousand) {
  store.inDatabase([](FMDatabase& db) {
    db.beginTransaction();
    for (int i = 1; i <= 1005; ++i) {
      db.executeUpdate("insert into Download(id, status, actlast, expand) values(?, 2, 0, 0)",
                       {i});
    }
    db.commit();
  });
  const auto jobs = store.Get_Downloads();
  ASSERT_EQ(jobs.size(), 1000u);
  EXPECT_EQ(jobs.front().nIndex, 1);
  EXPECT_EQ(jobs.back().nIndex, 1000);
}

TEST_F(TransPortDBDownloadTest, PageListsAndCountsLeaveOutHiddenDownloads) {
  put(1, kTransWaiting, 0, 256, true, "/hidden");
  put(2, kTransFinished, 50, 256);
  for (int id = 3; id <= 50; ++id) put(id, id % 2 == 0 ? kTransStopped : kTransWaiting, 0);
  put(51, kTransWaiting, 0, 1);
  put(52, kTransFinished, 10);
  put(53, kTransFinished, 30);

  const auto first = store.Get_AllDownload(0, 20);
  ASSERT_EQ(first.size(), 20u);
  EXPECT_EQ(first[0].nIndex, 51);  // downloads to open first, then by id
  EXPECT_EQ(first[1].nIndex, 3);
  EXPECT_EQ(ids(store.Get_AllDownload(20, 20)).front(), 22);
  EXPECT_EQ(ids(store.Get_AllDownload(20, 20)).back(), 41);
  EXPECT_EQ(ids(store.Get_AllDownloadFinish(0, 10)), (std::vector<std::int64_t>{53, 52}));
  EXPECT_EQ(store.GetDownloadCount(), 49);
  EXPECT_EQ(store.GetDownloadCountAll(), 50);
  EXPECT_FALSE(store.Check_Download(1, "/hidden", false));
  EXPECT_FALSE(store.Check_Download(1, "/", true));
  EXPECT_TRUE(store.Check_Download(1, "/f3", false));
}

TEST_F(TransPortDBDownloadTest, BulkChangesPickTheirStatuses) {
  put(1, kTransRunning, 7);
  put(2, kTransWaiting, 7);
  put(3, kTransStopped, 7);
  put(4, kTransFinished, 7);
  put(5, kTransFailed, 7);
  auto statuses = [&] {
    std::vector<std::int64_t> out;
    for (int id = 1; id <= 5; ++id) {
      out.push_back(store.Get_Download(1, "/f" + std::to_string(id)).nStatus);
    }
    return out;
  };
  store.StartDownloadAll();
  EXPECT_EQ(statuses(), (std::vector<std::int64_t>{1, 2, 2, 4, 2}));
  EXPECT_EQ(number("select actlast from Download where id = 1"), 7);

  store.Update_DownloadError(5, 1001, "gone");
  store.StopDownloadAll();
  EXPECT_EQ(statuses(), (std::vector<std::int64_t>{3, 3, 3, 4, 3}));
  EXPECT_EQ(number("select errornum from Download where id = 5"), 0);

  store.Update_DownloadError(5, 1001, "gone");
  store.ResetDownloadError();
  EXPECT_EQ(statuses(), (std::vector<std::int64_t>{3, 3, 3, 4, 2}));
}

TEST_F(TransPortDBDownloadTest, DeletingAllKeepsSyncAndFinishedRows) {
  put(1, kTransWaiting, 0, 0, true);
  put(2, kTransWaiting, 0);
  put(3, kTransFinished, 0);
  put(4, kTransFailed, 0);
  store.DeleteDownloadAll();
  EXPECT_EQ(text("select group_concat(id) from (select id from Download order by id)"), "1,3");
  store.DeleteDownloadAllFinish();
  EXPECT_EQ(text("select group_concat(id) from Download"), "1");
}

TEST_F(TransPortDBDownloadTest, TaskLifeCycleUsesTheClock) {
  TransportItem item = record(1, "/a");
  store.Add_Download(item);
  const std::int64_t id = store.Get_Download(1, "/a").nIndex;

  store.Update_DownloadStartActlast(id);
  EXPECT_EQ(store.Get_Download(1, "/a").nStatus, kTransRunning);
  EXPECT_EQ(store.Get_Download(1, "/a").ullActlast, kNow);

  store.Update_DownloadNormal(id, 300);  // offered again at once
  EXPECT_EQ(ids(store.Get_Downloads()), (std::vector<std::int64_t>{id}));

  store.Update_DownloadStat(id, 0);
  clock->advance(std::chrono::seconds(5));
  store.Update_DownloadFinish(id);
  const TransportItem done = store.Get_Download(1, "/a");
  EXPECT_EQ(done.nStatus, kTransFinished);
  EXPECT_EQ(done.ullOffset, 1000u);
  EXPECT_EQ(done.ullActlast, kNow + 5);
  EXPECT_EQ(done.nStat, 0);
  EXPECT_EQ(store.Check_DownloadFinishByHash(item.strFilehash), "/home/u/f");
  EXPECT_EQ(store.Check_DownloadFinishByHash(std::string(40, 'c')), "");
  EXPECT_TRUE(store.Get_DownloadsByHash(item.strFilehash).empty());
}

TEST_F(TransPortDBDownloadTest, DeleteByPathTakesEveryTargetButFinishedOnes) {
  for (const char* full : {"/l/1", "/l/2", "/l/3"}) {
    TransportItem item = record(1, "/a", full);
    store.Add_Download(item);
  }
  exec("update Download set status = 4 where fullpath = '/l/3'");
  EXPECT_EQ(store.Get_Download(1, "/a").strFullpath, "/l/3");  // the last row yielded

  store.Delete_Download(1, "/A");
  EXPECT_EQ(text("select group_concat(fullpath) from Download"), "/l/3");
}

}  // namespace
}  // namespace nb::test
