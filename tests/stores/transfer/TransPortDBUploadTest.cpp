// The upload queue of the transfer store.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stores/transfer/TransPortDB.h"
#include "stores/transfer/TransPortDBFixture.h"

namespace nb::test {
namespace {

class TransPortDBUploadTest : public TransPortDBTestBase {
 protected:
  // Queues the first version of "/a" in library 1 and puts its row into
  // `status` at offset 700; answers its id.
  std::int64_t queued(std::int64_t status) {
    TransportItem first = record(1, "/a", "/home/u/a");
    first.bDir = false;
    EXPECT_TRUE(store.Add_Upload(first, "/parent-old"));
    const std::int64_t id = store.Get_Upload(1, "/a").nIndex;
    exec("update Upload set status = ?, offset = 700, errornum = 3, errormsg = 'x' where id = ?",
         {status, id});
    return id;
  }
  // The next version of the same file: another local copy, hash and times.
  static TransportItem changed() {
    TransportItem item = record(1, "/A", "/home/u/a2");
    item.strFilehash = std::string(40, 'c');
    item.ullFilesize = 5000;
    item.ullLast = kNow - 1;
    item.ullActlast = 9;
    item.nExpand = 3;
    item.bSync = true;
    return item;
  }
  void expectEverythingFrom(const TransportItem& row, const TransportItem& item) {
    EXPECT_EQ(row.strFullpath, item.strFullpath);
    EXPECT_EQ(row.strFilehash, item.strFilehash);
    EXPECT_EQ(row.ullFilesize, item.ullFilesize);
    EXPECT_EQ(row.ullLast, item.ullLast);
    EXPECT_EQ(row.ullActlast, item.ullActlast);
    EXPECT_EQ(row.nExpand, item.nExpand);
    EXPECT_EQ(row.bSync, item.bSync);
    EXPECT_EQ(row.nError, 0);
    EXPECT_EQ(row.strError, "");
  }
  std::string parentOf(std::int64_t id) {
    return text("select parentpath from Upload where id = ?", {id});
  }
  void put(std::int64_t id, std::int64_t status, std::int64_t expand, bool sync,
           const std::string& parent, std::int64_t mountid = 1) {
    exec("insert into Upload(id, mountid, webpath, fullpath, status, filesize, offset, actlast, "
         "expand, sync, parentpath) values(?, ?, ?, ?, ?, 10, 0, 0, ?, ?, ?)",
         {id, mountid, "/u" + std::to_string(id), "/l/" + std::to_string(id % 3), status, expand,
          sync, parent});
  }
  static std::vector<std::int64_t> ids(const std::vector<TransTaskItem>& tasks) {
    std::vector<std::int64_t> out;
    for (const auto& t : tasks) out.push_back(t.nIndex);
    return out;
  }
};

TEST_F(TransPortDBUploadTest, QueuingTwiceMergesByLibraryAndWebPath) {
  TransportItem item = record(1, "/a");
  EXPECT_TRUE(store.Add_Upload(item, "/"));
  TransportItem again = changed();
  EXPECT_TRUE(store.Add_Upload(again, "/parent"));
  EXPECT_EQ(store.GetUploadCount(), 1);
  EXPECT_EQ(store.Get_Upload(1, "/a").strFullpath, "/home/u/a2");

  TransportItem other = record(2, "/a");
  EXPECT_TRUE(store.Add_Upload(other, "/"));
  EXPECT_EQ(store.GetUploadCount(), 2);
}

// A changed file queued over a row in each status: every column is
// rewritten; a stopped row stays stopped and a finished one restarts at 0.
TEST_F(TransPortDBUploadTest, QueuingAChangedFileFollowsTheRowsStatus) {
  struct Case {
    std::int64_t rowStatus;
    std::int64_t wantStatus;
    std::uint64_t wantOffset;
  };
  const Case cases[] = {
      {kTransStopped, kTransStopped, 700},
      {kTransFinished, kTransWaiting, 0},
      {kTransFailed, kTransWaiting, 700},
      {kTransRunning, kTransWaiting, 700},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rowStatus);
    const std::int64_t id = queued(c.rowStatus);
    TransportItem item = changed();
    item.ullOffset = 55;
    EXPECT_TRUE(store.Add_Upload(item, "/parent-new"));

    EXPECT_EQ(item.ullOffset, c.wantOffset);
    const TransportItem row = store.Get_Upload(id);
    expectEverythingFrom(row, item);
    EXPECT_EQ(row.nStatus, c.wantStatus);
    EXPECT_EQ(row.ullOffset, c.wantOffset);
    EXPECT_EQ(parentOf(id), "/parent-new");
  }
}

TEST_F(TransPortDBUploadTest, HashOnlyUploadOfTheSameContentKeepsTheLocalSide) {
  const std::int64_t id = queued(kTransStopped);
  TransportItem item = changed();
  item.nExpand = 2;
  item.strFullpath = "";
  item.strFilehash = std::string(40, 'a');  // the stored hash
  EXPECT_TRUE(store.Add_Upload(item, "/parent-new"));

  const TransportItem row = store.Get_Upload(id);
  EXPECT_EQ(row.nStatus, kTransWaiting);  // the caller's, although the row was stopped
  EXPECT_EQ(row.ullOffset, 700u);
  EXPECT_EQ(row.strFullpath, "/home/u/a");
  EXPECT_EQ(row.strFilehash, std::string(40, 'a'));
  EXPECT_EQ(row.ullFilesize, 1000u);
  EXPECT_EQ(row.ullLast, item.ullLast);
  EXPECT_EQ(row.nExpand, 2);
  EXPECT_EQ(row.nError, 0);
  EXPECT_EQ(parentOf(id), "/parent-new");

  // With another hash it is an ordinary change: every column, still stopped.
  exec("update Upload set status = 3 where id = ?", {id});
  item.strFilehash = std::string(40, 'd');
  EXPECT_TRUE(store.Add_Upload(item, "/p"));
  EXPECT_EQ(store.Get_Upload(id).nStatus, kTransStopped);
  expectEverythingFrom(store.Get_Upload(id), item);
}

TEST_F(TransPortDBUploadTest, NextJobsComeByKindThenTimeThenId) {
  put(1, kTransWaiting, 0, false, "/");
  put(2, kTransWaiting, 1, false, "/");
  put(3, kTransWaiting, 2, false, "/");
  put(4, kTransWaiting, 3, false, "/");
  put(5, kTransWaiting, 2, false, "/");
  put(6, kTransStopped, 3, false, "/");
  exec("update Upload set actlast = 5 where id = 3");
  exec("update Upload set last = 42");
  const auto jobs = store.Get_Uploads();
  EXPECT_EQ(ids(jobs), (std::vector<std::int64_t>{4, 5, 3, 2, 1}));
  EXPECT_EQ(jobs[0].ullLast, 42u);
  EXPECT_EQ(jobs[0].strSavepath, "/l/1");
}

TEST_F(TransPortDBUploadTest, AnUploadGivenBackWaitsTenSeconds) {
  put(1, kTransRunning, 0, false, "/");
  store.Update_UploadNormal(1, 40);
  EXPECT_EQ(store.Get_Upload(1).ullOffset, 10u);  // clamped to the size on reading
  EXPECT_EQ(number("select offset from Upload"), 40);
  EXPECT_TRUE(store.Get_Uploads().empty());
  clock->advance(std::chrono::seconds(10));
  EXPECT_TRUE(store.Get_Uploads().empty());
  clock->advance(std::chrono::seconds(1));
  EXPECT_EQ(store.Get_Uploads().size(), 1u);
}

TEST_F(TransPortDBUploadTest, RecordChangesSetTheirColumns) {
  put(1, kTransWaiting, 0, false, "/");
  store.Update_UploadStartActlast(1);
  EXPECT_EQ(store.Get_Upload(1).ullActlast, kNow);
  store.Update_UploadFilehashAndFilesize(1, std::string(40, 'e'), 900);
  store.Update_UploadFilesizeAndLast(1, 800, 33);
  store.Update_UploadOffset(1, 200);
  TransportItem row = store.Get_Upload(1);
  EXPECT_EQ(row.strFilehash, std::string(40, 'e'));
  EXPECT_EQ(row.ullFilesize, 800u);
  EXPECT_EQ(row.ullLast, 33u);
  EXPECT_EQ(row.ullOffset, 200u);

  store.Update_UploadError(1, 1001, "it's gone");
  EXPECT_EQ(store.Get_Upload(1).strError, "it's gone");
  store.Update_UploadReset(1, 300, 44);
  row = store.Get_Upload(1);
  EXPECT_EQ(row.nStatus, kTransWaiting);
  EXPECT_EQ(row.ullFilesize, 300u);

  clock->advance(std::chrono::seconds(3));
  store.Update_UploadFinish(1);
  row = store.Get_Upload(1);
  EXPECT_EQ(row.nStatus, kTransFinished);
  EXPECT_EQ(row.ullOffset, 300u);
  EXPECT_EQ(row.ullActlast, kNow + 3);
  EXPECT_EQ(store.Get_AllUploadFinish(0, 5).size(), 1u);
  EXPECT_TRUE(store.Get_AllUpload(0, 5).empty());
}

TEST_F(TransPortDBUploadTest, ParentPathsOncePerLibraryWithoutSyncRows) {
  put(1, kTransWaiting, 0, false, "/docs");
  put(2, kTransFinished, 0, false, "/DOCS");
  put(3, kTransWaiting, 0, false, "/docs", 2);
  put(4, kTransWaiting, 0, true, "/synced");
  put(5, kTransStopped, 0, false, "/pics");
  const auto parents = store.Get_DeleteParentUpload();
  std::vector<std::string> seen;
  for (const auto& p : parents) seen.push_back(std::to_string(p.nMountid) + ":" + p.strWebpath);
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"1:/docs", "1:/pics", "2:/docs"}));
}

TEST_F(TransPortDBUploadTest, DeletionsKeepWhatTheyMust) {
  put(1, kTransWaiting, 0, true, "/");
  put(2, kTransWaiting, 0, false, "/");
  put(3, kTransFinished, 0, false, "/");
  put(4, kTransFailed, 0, false, "/", 2);
  put(5, kTransStopped, 0, false, "/", 3);
  store.DeleteUploadAll();
  EXPECT_EQ(text("select group_concat(id) from (select id from Upload order by id)"), "1,3");

  // Every row of one local file, in any library and any status.
  put(6, kTransWaiting, 0, false, "/", 9);  // "/l/0" as id 3
  store.Delete_UploadForPath("/L/0");
  EXPECT_EQ(text("select group_concat(id) from Upload"), "1");
}

TEST_F(TransPortDBUploadTest, BulkChangesPickTheirStatuses) {
  for (int id = 1; id <= 5; ++id) put(id, id, 0, false, "/");
  store.Update_UploadError(5, 1001, "x");
  auto statuses = [&] {
    std::vector<std::int64_t> out;
    for (int id = 1; id <= 5; ++id) out.push_back(store.Get_Upload(id).nStatus);
    return out;
  };
  store.ResetUploadError();
  EXPECT_EQ(statuses(), (std::vector<std::int64_t>{1, 2, 3, 4, 2}));
  store.StopUploadAll();
  EXPECT_EQ(statuses(), (std::vector<std::int64_t>{3, 3, 3, 4, 3}));
  store.Update_UploadStatus(2, kTransFailed);
  store.StartUploadAll();
  EXPECT_EQ(statuses(), (std::vector<std::int64_t>{2, 2, 2, 4, 2}));
}

}  // namespace
}  // namespace nb::test
