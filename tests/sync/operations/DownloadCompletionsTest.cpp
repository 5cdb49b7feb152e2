// What one verified download completes: every record waiting for its
// content, in the sync store, on disk and in the transfer cache.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "api/session/UserData.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/server/ServerDecisionWorld.h"

namespace nb::test {
namespace {

class DownloadCompletionsTest : public ServerDecisionWorld {
 protected:
  void SetUp() override {
    ServerDecisionWorld::SetUp();
    startLinked();
  }

  // The downloaded content where a download task leaves it.
  static std::string tempWith(const std::string& bytes) {
    const std::string folder = UserData::shareUserData().getranscache();
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/down_" + sha1HexDigest(bytes);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  TransTaskItem taskFor(const std::string& path, const std::string& bytes) {
    const TransportItem record = download(path);
    TransTaskItem task;
    task.nIndex = record.nIndex;
    task.nMountid = kMountId;
    task.strWebpath = path;
    task.strSavepath = record.strFullpath;
    task.strFilehash = record.strFilehash;
    task.ullFilesize = record.ullFilesize;
    task.bSync = record.bSync;
    task.nStatus = kTransFinished;
    task.strTemppath = tempWith(bytes);
    return task;
  }
  static int64_t statusOf(const TransportItem& record) {
    return TransPortDB::shareTransPortDB().Get_Download(kMountId, record.strWebpath).nStatus;
  }
};

TEST_F(DownloadCompletionsTest, OneDownloadCompletesEveryRecordOfItsContent) {
  const SyncFileItem row = storeRow("docs/a.txt", "shared", SyncStatus::kDownloadPending);
  storeRow("docs/b.txt", "shared", SyncStatus::kServerOnly);
  m().ADD_Download(row, local("Docs/a.txt").string(), true, 0);
  const std::string saved = (home() / "Saved" / "b.txt").string();
  m().ADD_Download(rowOf("docs/b.txt"), saved, false, 0);
  const TransTaskItem task = taskFor("docs/a.txt", "shared");

  m().DownloadFinish(task);

  EXPECT_EQ(readLocal("Docs/a.txt"), "shared");
  EXPECT_EQ(rowOf("docs/a.txt").nStatus, SyncStatus::kSynced);
  EXPECT_EQ(readLocal(saved), "shared");
  EXPECT_EQ(statusOf(download("docs/a.txt")), kTransFinished);
  EXPECT_EQ(statusOf(download("docs/b.txt")), kTransFinished);
  EXPECT_FALSE(std::filesystem::exists(task.strTemppath));
  EXPECT_FALSE(std::filesystem::exists(task.strTemppath + "_ok"));
}

TEST_F(DownloadCompletionsTest, ContentNotPlacedIsKeptWholeForTheNextDownload) {
  // The user edited the file meanwhile: the row waits for its upload.
  const SyncFileItem row = storeRow("docs/a.txt", "server", SyncStatus::kDownloadPending);
  m().ADD_Download(row, local("Docs/a.txt").string(), true, 0);
  m().syncdb().update_status("docs/a.txt", SyncStatus::kUploadPending);
  writeLocal("Docs/a.txt", "mine");
  const TransTaskItem task = taskFor("docs/a.txt", "server");

  m().DownloadFinish(task);

  EXPECT_EQ(readLocal("Docs/a.txt"), "mine");
  EXPECT_FALSE(std::filesystem::exists(task.strTemppath));
  EXPECT_TRUE(std::filesystem::exists(task.strTemppath + "_ok"));
}

TEST_F(DownloadCompletionsTest, ADownloadToOpenIsRecordedInTheOpenedFilesHistory) {
  const SyncFileItem row = storeRow("docs/o.txt", "open", SyncStatus::kServerOnly);
  const std::string opened = (home() / "Opened" / "o.txt").string();
  std::filesystem::create_directories(home() / "Opened");
  std::ofstream(opened) << "open";
  m().ADD_Download(row, opened, false, 1);
  OpenTransportItem entry;
  entry.nMountid = kMountId;
  entry.strWebpath = "docs/o.txt";
  entry.strFullpath = opened;
  TransPortDB::shareTransPortDB().AddOpenHistory(entry);
  TransTaskItem task = taskFor("docs/o.txt", "open");
  task.nExpand = 1;
  m().DownloadFinishOutFile(task);
  const OpenTransportItem history = TransPortDB::shareTransPortDB().CheckOpenHistory(opened);
  EXPECT_EQ(statusOf(download("docs/o.txt")), kTransFinished);
  EXPECT_EQ(history.ullFilesize, 4u);
  EXPECT_EQ(history.ullLast, Util::filemodifytime(opened));
}

}  // namespace
}  // namespace nb::test
