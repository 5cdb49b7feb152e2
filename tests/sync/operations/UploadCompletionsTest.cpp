// What a finished or failed upload leaves in the sync store, the transfer
// store and the local folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/util/UtilSession.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/server/ServerDecisionWorld.h"

namespace nb::test {
namespace {

class UploadCompletionsTest : public ServerDecisionWorld {
 protected:
  void SetUp() override {
    ServerDecisionWorld::SetUp();
    startLinked();
  }

  // A sync upload of `path` as the engine would have sent it: the row in
  // status 1, the local file, the waiting record, and the task state.
  TransTaskItem sentUpload(const std::string& path, const std::string& relative,
                           const std::string& bytes, bool sync = true, int64_t expand = 0) {
    writeLocalAt(relative, bytes, kLocalTime);
    SyncFileItem row = storeRow(path, bytes, SyncStatus::kUploadPending);
    m().Add_Upload(row, local(relative).string(), sync, path);
    const TransportItem record = upload(path);
    TransTaskItem task;
    task.nIndex = record.nIndex;
    task.nMountid = kMountId;
    task.strWebpath = path;
    task.strSavepath = record.strFullpath;
    task.strTemppath = record.strFullpath;  // no snapshot: the file itself
    task.strFilehash = sha1HexDigest(bytes);
    task.ullFilesize = bytes.size();
    task.ullLast = kLocalTime;
    task.bSync = sync;
    task.nExpand = expand;
    task.nStatus = kTransFinished;
    return task;
  }
  static TransportItem record(int64_t id) { return TransPortDB::shareTransPortDB().Get_Upload(id); }
};

TEST_F(UploadCompletionsTest, AnUnchangedFileIsCommittedAsInSync) {
  const TransTaskItem task = sentUpload("docs/a.txt", "Docs/a.txt", "hello");
  m().UploadFinish(task);
  EXPECT_EQ(rowOf("docs/a.txt").nStatus, SyncStatus::kSynced);
  EXPECT_EQ(rowOf("docs/a.txt").ullLastTime, kLocalTime);
  EXPECT_EQ(record(task.nIndex).nStatus, kTransFinished);
  // The user's own file is never taken for a transfer copy.
  EXPECT_EQ(readLocal("Docs/a.txt"), "hello");
}

TEST_F(UploadCompletionsTest, AFileSavedDuringItsUploadIsQueuedAgainNotCommitted) {
  const TransTaskItem task = sentUpload("docs/a.txt", "Docs/a.txt", "hello");
  writeLocalAt("Docs/a.txt", "HELLO", kLocalTime + 30);  // same size, new time
  m().UploadFinish(task);
  const SyncFileItem row = rowOf("docs/a.txt");
  EXPECT_EQ(row.nStatus, SyncStatus::kUploadPending);
  EXPECT_EQ(row.ullLastTime, kLocalTime + 30);
  const TransportItem again = record(task.nIndex);
  EXPECT_EQ(again.nStatus, kTransWaiting);
  EXPECT_EQ(again.ullLast, kLocalTime + 30);
}

TEST_F(UploadCompletionsTest, AnEditHandledDuringTheUploadKeepsTheRowWaiting) {
  const TransTaskItem task = sentUpload("docs/a.txt", "Docs/a.txt", "hello");
  // The event handler recorded the edit in the row before the upload ended.
  writeLocalAt("Docs/a.txt", "hello again", kLocalTime + 60);
  m().syncdb().update_filesizeandlast("docs/a.txt", 11, kLocalTime + 60);
  m().UploadFinish(task);
  EXPECT_EQ(rowOf("docs/a.txt").nStatus, SyncStatus::kUploadPending);
  EXPECT_EQ(record(task.nIndex).ullFilesize, 11u);
}

TEST_F(UploadCompletionsTest, ALocalFileGoneAfterItsSnapshotCommitsOnlyWhenTheRowWasSent) {
  const TransTaskItem same = sentUpload("docs/a.txt", "Docs/a.txt", "hello");
  const TransTaskItem changed = sentUpload("docs/b.txt", "Docs/b.txt", "world");
  m().syncdb().update_filesizeandlast("docs/b.txt", 9, kLocalTime + 5);
  removeLocal("Docs/a.txt");
  removeLocal("Docs/b.txt");
  m().UploadFinish(same);
  m().UploadFinish(changed);
  EXPECT_EQ(rowOf("docs/a.txt").nStatus, SyncStatus::kSynced);
  EXPECT_EQ(record(changed.nIndex).nIndex, 0) << "the record of a changed row is dropped";
}

TEST_F(UploadCompletionsTest, AnUploadWhosePathLeftTheLinksIsLeftAsItIs) {
  SyncFileItem row = storeRow("elsewhere/a.txt", "x", SyncStatus::kUploadPending);
  m().Add_Upload(row, "/tmp/none", true, row.strWebPath);
  TransTaskItem task;
  task.nIndex = upload("elsewhere/a.txt").nIndex;
  task.strWebpath = "elsewhere/a.txt";
  task.bSync = true;
  task.ullFilesize = 1;
  m().UploadFinish(task);
  EXPECT_EQ(record(task.nIndex).nStatus, kTransWaiting);
  EXPECT_EQ(rowOf("elsewhere/a.txt").nStatus, SyncStatus::kUploadPending);
}

TEST_F(UploadCompletionsTest, AnUploadWithoutRowDropsItsRecord) {
  const TransTaskItem task = sentUpload("docs/a.txt", "Docs/a.txt", "hello");
  m().syncdb().del_file("docs/a.txt");
  m().UploadFinish(task);
  EXPECT_EQ(record(task.nIndex).nIndex, 0);
}

TEST_F(UploadCompletionsTest, AnEntryMadeFromAHashComesDownOnlyIntoATwoWayLink) {
  struct Case {
    const char* path;
    bool linked;
    int64_t status;
    bool download;
  };
  // "docs" is a two-way link; "other" lies in no link.
  for (const Case& c : {Case{"docs/c.txt", true, SyncStatus::kDownloadPending, true},
                        Case{"other/c.txt", false, SyncStatus::kServerOnly, false}}) {
    SCOPED_TRACE(c.path);
    SyncFileItem row = storeRow(c.path, "made", SyncStatus::kServerOnly);
    m().Add_Upload(row, "", false, c.path);
    TransTaskItem task;
    task.nIndex = upload(c.path).nIndex;
    task.nMountid = kMountId;
    task.strWebpath = c.path;
    task.nExpand = 2;
    task.strFilehash = row.strFileHash;
    task.ullFilesize = row.ullFileSize;
    m().UploadFinishOutFile(task);
    EXPECT_EQ(rowOf(c.path).nStatus, c.status);
    EXPECT_EQ(download(c.path).nIndex > 0, c.download);
    EXPECT_EQ(record(task.nIndex).nStatus, kTransFinished);
  }
}

TEST_F(UploadCompletionsTest, ServerBusyOrOfflinePutsTheUploadBackToWaiting) {
  TransTaskItem task = sentUpload("docs/a.txt", "Docs/a.txt", "hello");
  task.ullOffset = 3;
  m().UploadError(task, 202, "");
  const TransportItem waiting = record(task.nIndex);
  EXPECT_EQ(waiting.nStatus, kTransWaiting);
  EXPECT_EQ(waiting.ullOffset, 3u);
  EXPECT_EQ(waiting.nError, 0);
}

TEST_F(UploadCompletionsTest, AnErrorOfANonSyncUploadIsStored) {
  if (!Util::islink()) GTEST_SKIP() << "no network here: every error waits";
  const TransTaskItem task = sentUpload("docs/a.txt", "Docs/a.txt", "hello", false);
  m().UploadError(task, 40310, "refused");
  const TransportItem failed = record(task.nIndex);
  EXPECT_EQ(failed.nStatus, kTransFailed);
  EXPECT_EQ(failed.nError, 40310);
  EXPECT_TRUE(localExists("Docs/a.txt"));
}

TEST_F(UploadCompletionsTest, ARefusedEditOfASyncFileIsKeptAsAConflictCopy) {
  if (!Util::islink()) GTEST_SKIP() << "no network here: every error waits";
  const TransTaskItem task = sentUpload("docs/a.txt", "Docs/a.txt", "my edit");
  m().UploadError(task, 40310, "");
  EXPECT_EQ(record(task.nIndex).nIndex, 0);
  int copies = 0;
  for (const auto& entry : std::filesystem::directory_iterator(local("Docs"))) {
    const std::string name = entry.path().filename().string();
    if (name == "a.txt") continue;
    ++copies;
    EXPECT_EQ(name.substr(0, 1), "a");
    EXPECT_EQ(name.substr(name.size() - 4), ".txt");
    EXPECT_EQ(readLocal("Docs/" + name), "my edit");
  }
  EXPECT_EQ(copies, 1);
}

}  // namespace
}  // namespace nb::test
