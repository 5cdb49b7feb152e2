// Commands of the facade on running transfers: the order of store and task,
// deletes, the sync engine's clean-up and renames, and the queries.

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/json/Json.h"
#include "transfer/engine/NetworkFixture.h"
#include "transfer/records/TransferRecords.h"

namespace nb::test {
namespace {

using namespace std::chrono_literals;
using Stop = std::tuple<std::int64_t, bool, std::int64_t>;  // id, deleting, store status seen

class NetworkCommandsTest : public NetworkTestBase {
 protected:
  // Starts the engine and waits until the given records run.
  void runAll(std::size_t up, std::size_t down, std::int64_t width = 10) {
    network->SetUTaskMax(width);
    network->SetDTaskMax(width);
    network->start();
    network->refreshCounts();
    network->dManager().SetTransStart();
    ASSERT_TRUE(runUntil([&] {
      return network->GetTransCount() == static_cast<std::int64_t>(up + down);
    }));
    ASSERT_EQ(uploads.size(), up);
    ASSERT_EQ(downloads.size(), down);
  }
  std::size_t updateFileListEvents() const {
    std::size_t count = 0;
    for (const auto& event : app->pageEvents()) count += event.name() == "UpdateFileList";
    return count;
  }
};

TEST_F(NetworkCommandsTest, StopChangesTheStoreFirstThenTheTask) {
  const std::int64_t up = putUpload(1, "/a");
  const std::int64_t down = putDownload(1, "/b", std::string(40, 'a'));
  runAll(1, 1);
  network->StopUpload({up});
  network->StopDownload({down});
  EXPECT_EQ(stopsSeen, (std::vector<Stop>{{up, false, kTransStopped}, {down, false, kTransStopped}}));
  EXPECT_TRUE(uploads.find(up)->bStop());
  EXPECT_FALSE(uploads.find(up)->bDelete());
}

TEST_F(NetworkCommandsTest, StartChangesOnlyTheStore) {
  const std::int64_t stopped = putUpload(1, "/s", 0, false, kTransStopped);
  network->StartUpload({});
  EXPECT_EQ(uploadStatus(stopped), kTransStopped);
  network->StartUpload({stopped});
  EXPECT_EQ(uploadStatus(stopped), kTransWaiting);
  EXPECT_TRUE(stopsSeen.empty());
}

TEST_F(NetworkCommandsTest, StopAllStopsEveryRecordAndTask) {
  const std::int64_t running = putUpload(1, "/a");
  const std::int64_t done = putUpload(1, "/done", 0, false, kTransFinished);
  runAll(1, 0, 1);  // the next record keeps waiting
  const std::int64_t waiting = putUpload(1, "/w");
  network->StopUploadAll();
  EXPECT_EQ(uploadStatus(waiting), kTransStopped);
  EXPECT_EQ(uploadStatus(done), kTransFinished);
  EXPECT_EQ(stopsSeen, (std::vector<Stop>{{running, false, kTransStopped}}));
}

TEST_F(NetworkCommandsTest, DeletingDownloadsReachesTheTaskFirstAndTellsThePagesOnce) {
  const std::int64_t a = putDownload(1, "/a", std::string(40, 'a'));
  const std::int64_t b = putDownload(1, "/b", std::string(40, 'b'));
  runAll(0, 2);
  network->DeleteDownload({a, b});
  EXPECT_EQ(stopsSeen, (std::vector<Stop>{{a, true, kTransRunning}, {b, true, kTransRunning}}));
  EXPECT_EQ(downloadStatus(a), 0);  // row gone
  EXPECT_EQ(updateFileListEvents(), 1u);
  EXPECT_EQ(app->pageEvents().back().detail(), "{}");
}

TEST_F(NetworkCommandsTest, DeleteAllDownloadsChangesTheStoreFirstAndKeepsSyncRecords) {
  const std::int64_t user = putDownload(1, "/u", std::string(40, 'a'));
  const std::int64_t sync = putDownload(1, "/s", std::string(40, 'b'), 0, true);
  runAll(0, 2);
  network->DeleteDownloadAll();
  EXPECT_EQ(stopsSeen, (std::vector<Stop>{{user, true, 0}}));
  EXPECT_EQ(downloadStatus(sync), kTransRunning);
  EXPECT_FALSE(downloads.find(sync)->bStop());
  EXPECT_EQ(updateFileListEvents(), 1u);
}

TEST_F(NetworkCommandsTest, DeletingAnUploadResetsItsPathBetweenTaskAndStore) {
  const std::int64_t up = putUpload(4, "/dir/a");
  runAll(1, 0);
  network->DeleteUpload({up, 999});  // an unknown id deletes nothing more
  EXPECT_EQ(stopsSeen, (std::vector<Stop>{{up, true, kTransRunning}}));
  ASSERT_EQ(resets.size(), 1u);
  EXPECT_EQ(resets[0], std::make_tuple(std::int64_t{4}, std::string("/dir/a"),
                                       std::optional<bool>(false)));
  EXPECT_EQ(resetSawRow[0], 1u);  // the row was still there
  EXPECT_EQ(uploadStatus(up), 0);
  EXPECT_EQ(updateFileListEvents(), 0u);
}

TEST_F(NetworkCommandsTest, DeleteAllUploadsResetsEachFolderAndKeepsSyncRecords) {
  const std::int64_t user = putUpload(1, "/x/a", 0, false, kTransWaiting, "/x");
  const std::int64_t sync = putUpload(1, "/y/b", 0, true, kTransWaiting, "/y");
  runAll(2, 0);
  network->DeleteUploadAll();
  ASSERT_EQ(resets.size(), 1u);
  EXPECT_EQ(std::get<1>(resets[0]), "/x");
  EXPECT_EQ(std::get<2>(resets[0]), std::nullopt);  // the sync store knows the folder flag
  EXPECT_EQ(uploadStatus(user), 0);
  EXPECT_EQ(uploadStatus(sync), kTransRunning);
  EXPECT_EQ(stopsSeen, (std::vector<Stop>{{user, true, 0}}));
}

// The sync engine's clean-up of a path: tasks at or under it end and leave
// the list at once; the comparison keeps letter case; "" is the library.
TEST_F(NetworkCommandsTest, ClearTransDropsTasksAtOrUnderThePath) {
  struct Case {
    std::int64_t mountid;
    std::string path;
    std::vector<std::string> left;  // "library:path" of the tasks still listed
  };
  const Case cases[] = {
      {1, "a/b", {"1:a/bc", "1:A/b", "2:a/b", "3:a/b", "3:x"}},
      {3, "", {"1:a/bc", "1:A/b", "2:a/b"}},
  };
  for (const char* path : {"a/b", "a/b/c", "a/bc", "A/b"}) putUpload(1, path);
  putUpload(2, "a/b");
  putUpload(3, "a/b");
  putUpload(3, "x");
  runAll(7, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    network->ClearTrans(c.path, c.mountid);
    std::vector<std::string> left;
    for (const TransTaskItem& item : network->uManager().GetAll()) {
      left.push_back(std::to_string(item.nMountid) + ":" + item.strWebpath);
    }
    EXPECT_EQ(left, c.left);
    EXPECT_EQ(network->GetTransCount(), static_cast<std::int64_t>(c.left.size()));
  }
  EXPECT_TRUE(uploads.tasks()[1]->bDelete());  // "a/b/c" was deleted, not only dropped
}

// The sync engine reaches the engine through its own seam, one direction or
// both.
TEST_F(NetworkCommandsTest, TheSyncEngineClearsOneDirectionThroughItsSeam) {
  putUpload(1, "/a");
  putDownload(1, "/a", std::string(40, 'a'));
  runAll(1, 1);
  nb::Network& seam = *network;
  seam.ClearTrans("/a", 1, TransDirection::Download);
  EXPECT_EQ(network->dManager().GetTransCount(), 0);
  EXPECT_EQ(network->uManager().GetTransCount(), 1);
  seam.AddTransAction();
  EXPECT_EQ(transActions.count(), 1);
  seam.DelTransAction();
  EXPECT_EQ(transActions.count(), 0);
}

TEST_F(NetworkCommandsTest, RenameMovesRunningTasksIgnoringCase) {
  struct Case {
    std::int64_t mountid;
    std::string path;
    std::string renamed;
  };
  const Case cases[] = {
      {1, "a/c", "X/c"}, {1, "a", "X"}, {1, "ab", "ab"}, {1, "b/a", "b/a"}, {2, "a/c", "a/c"},
  };
  for (const Case& c : cases) putUpload(c.mountid, c.path);
  runAll(std::size(cases), 0);
  network->RenameWebpath(1, "A", "X");
  const std::vector<TransTaskItem> all = network->uManager().GetAll();
  ASSERT_EQ(all.size(), std::size(cases));
  for (std::size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(cases[i].path);
    EXPECT_EQ(all[i].strWebpath, cases[i].renamed);
  }
}

TEST_F(NetworkCommandsTest, TransInfoPrefersTheUploadAndIsNeverMissing) {
  putDownload(1, "/same", std::string(40, 'a'));
  const std::int64_t up = putUpload(1, "/same");
  const std::int64_t down = putDownload(1, "/down", std::string(40, 'b'));
  runAll(1, 2);
  EXPECT_EQ(network->GetTransInfo("/same", 1).nIndex, up);
  EXPECT_EQ(network->GetTransInfo("/down", 1).nIndex, down);
  EXPECT_EQ(network->GetTransInfo("/DOWN", 1).nIndex, 0);
  EXPECT_EQ(network->GetTransInfo("/nothing", 1).nIndex, 0);
}

TEST_F(NetworkCommandsTest, LanPeersReachTheDownloadOfTheirContent) {
  const std::string hash(40, 'c');
  putDownload(1, "/a", hash);
  runAll(0, 1);
  DownloadManager& manager = network->dManager();
  manager.AddUdpPeer(JsonValue::array({"10.0.0.2", JsonValue(hash)}));
  manager.AddUdpPeer(JsonValue::array(
      {"10.0.0.3", JsonValue(hash), 7, "0-99", true, false}));
  manager.AddUdpPeer(JsonValue::array({"10.0.0.4", JsonValue(hash), 7}));       // wrong size
  manager.AddUdpPeer(JsonValue::array({"10.0.0.5", "../../etc/passwd"}));       // no hash
  manager.AddUdpPeer(JsonValue::array({"10.0.0.6", JsonValue(std::string(40, 'd'))}));
  EXPECT_EQ(downloads.tasks()[0]->peers, (std::vector<std::string>{"10.0.0.2", "10.0.0.3|0-99"}));

  const auto have = manager.GetDownloadHaveInfo(hash);
  ASSERT_TRUE(have);
  EXPECT_EQ(have->have, "0-9");
  EXPECT_FALSE(manager.GetDownloadInfo(std::string(40, 'd')));
}

TEST_F(NetworkCommandsTest, ADownloadToOpenSendsTheOthersBackToWaiting) {
  const std::int64_t plain = putDownload(1, "/a", std::string(40, 'a'));
  const std::int64_t open = putDownload(1, "/o", std::string(40, 'b'), DownloadKind::kOpen);
  runAll(0, 2);
  network->dManager().StopDownloadForOpen();
  EXPECT_TRUE(downloads.find(plain)->bNormal());
  EXPECT_TRUE(downloads.find(plain)->bStop());
  EXPECT_FALSE(downloads.find(open)->bStop());
  EXPECT_EQ(network->nDownloadRealCount(), 2);
}

}  // namespace
}  // namespace nb::test
