// The opened-file history, its start-up pass in a temporary HOME, and the
// explicit transaction of the store's connection.

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "stores/transfer/TransPortDBFixture.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kOpened = kNow - 3600;  // when the copies last matched the server

class TransPortDBOpenHistoryTest : public TransPortDBTestBase {
 protected:
  std::string opened(const std::string& name) const { return user->openPath() + "/" + name; }

  static void writeFile(const std::string& path, const std::string& content,
                        std::uint64_t mtime = kOpened) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
    Util::setfilemodifytime(path, mtime);
  }
  void history(const std::string& webpath, const std::string& fullpath, std::uint64_t size,
               std::uint64_t last, std::uint64_t uploadtime) {
    store.AddOpenHistory({1, webpath, fullpath, size, last, uploadtime});
  }
  std::int64_t historyRows(const std::string& fullpath) {
    return number("select count(*) from OPENHISTORY where fullpath = ?", {fullpath});
  }
  void reopen() { store.setPath(path()); }
  static std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(TransPortDBOpenHistoryTest, WithoutHistoryOpenedFilesGoToTheCacheAndTheFolderGoes) {
  writeFile(opened("a.txt"), "alpha");
  writeFile(opened("sub/b.txt"), "beta");
  // Too large for the cache: must not be lost with the folder.
  writeFile(opened("big.bin"), "");
  fs::resize_file(opened("big.bin"), kCacheMaxFileSize);
  reopen();

  EXPECT_FALSE(fs::exists(user->openPath()));
  for (const char* content : {"alpha", "beta"}) {
    EXPECT_FALSE(cache->getFullPathByFileHash(sha1HexDigest(content)).empty()) << content;
  }
  const fs::path trashed = home() / ".local/share/Trash/files/big.bin";
  ASSERT_TRUE(fs::exists(trashed));
  EXPECT_EQ(fs::file_size(trashed), kCacheMaxFileSize);
}

// Names beginning with "." (an editor's lock or autosave file) are files of
// the user like any other: never deleted unless they are safe in the Trash.
TEST_F(TransPortDBOpenHistoryTest, DotFilesGoToTheTrashNeverAway) {
  writeFile(opened(".~lock.a.txt#"), "lock");
  writeFile(opened("sub/.notes"), "notes");
  writeFile(opened("a.txt"), "alpha");
  reopen();

  EXPECT_FALSE(fs::exists(user->openPath()));
  const fs::path trash = home() / ".local/share/Trash/files";
  EXPECT_EQ(readFile(trash / ".~lock.a.txt#"), "lock");
  EXPECT_EQ(readFile(trash / ".notes"), "notes");
  EXPECT_TRUE(cache->getFullPathByFileHash(sha1HexDigest("lock")).empty());
}

TEST_F(TransPortDBOpenHistoryTest, ADotFileTheTrashCannotTakeKeepsTheFolder) {
  writeFile(opened(".autosave"), "unsaved edit");
  writeFile(opened("a.txt"), "alpha");
  // A file where the Trash folder would be: nothing can be trashed.
  writeFile((home() / ".local/share/Trash").string(), "not a folder");
  reopen();

  EXPECT_EQ(readFile(opened(".autosave")), "unsaved edit");
  EXPECT_EQ(readFile(opened("a.txt")), "alpha");
}

TEST_F(TransPortDBOpenHistoryTest, WithHistoryTheFolderStays) {
  writeFile(opened("a.txt"), "alpha");
  history("/a.txt", opened("a.txt"), 5, kOpened, kOpened);
  reopen();
  EXPECT_TRUE(fs::exists(opened("a.txt")));
}

TEST_F(TransPortDBOpenHistoryTest, EditedCopiesAreQueuedAndGoneCopiesForgotten) {
  // Edited after its last upload: new size and time.
  writeFile(opened("edited"), "edited text", kOpened + 60);
  history("/edited", opened("edited"), 3, kOpened, kOpened);
  // Same time and size, but last differs from the upload time: edited too.
  writeFile(opened("unsent"), "abc", kOpened);
  history("/unsent", opened("unsent"), 3, kOpened, kOpened - 10);
  writeFile(opened("same"), "abc");
  history("/same", opened("same"), 3, kOpened, kOpened);
  // Never matched the server (a download to open that did not arrive).
  writeFile(opened("never"), "changed", kOpened + 60);
  history("/never", opened("never"), 3, kOpened, 0);
  // Still arriving: left alone whether the file is there or not.
  history("/arriving", opened("arriving"), 3, kOpened, kOpened);
  TransportItem arriving = record(1, "/arriving", opened("arriving"));
  store.Add_Download(arriving);
  // Gone, and its download finished.
  history("/gone", opened("gone"), 3, kOpened, kOpened);
  TransportItem finished = record(1, "/gone", opened("gone"));
  finished.nStatus = kTransFinished;
  store.Add_Download(finished);
  exec("update Download set status = 4 where webpath = '/gone'");
  // In the transfer temporary folder: forgotten with its uploads.
  const std::string temp = user->tempPath() + "/t.doc";
  writeFile(temp, "t");
  history("/t.doc", temp, 1, kOpened, kOpened);
  TransportItem tempUpload = record(1, "/t.doc", temp);
  ASSERT_TRUE(store.Add_Upload(tempUpload, "/"));

  reopen();

  const TransportItem edited = store.Get_Upload(1, "/edited");
  EXPECT_EQ(edited.nStatus, kTransWaiting);
  EXPECT_EQ(edited.nExpand, kUploadReopened);
  EXPECT_EQ(edited.ullFilesize, 11u);
  EXPECT_EQ(edited.ullLast, kOpened + 60);
  EXPECT_EQ(edited.strFullpath, opened("edited"));
  EXPECT_EQ(text("select parentpath from Upload where webpath = '/edited'"), "/edited");
  const OpenTransportItem row = store.CheckNeedLock(opened("edited"));
  EXPECT_EQ(row.ullFilesize, 11u);
  EXPECT_EQ(row.ullLast, kOpened + 60);
  EXPECT_EQ(row.ullUploadTime, kOpened);  // unchanged until the upload completes

  EXPECT_NE(store.Get_Upload(1, "/unsent").nIndex, 0);
  for (const char* untouched : {"/same", "/never", "/arriving"}) {
    EXPECT_EQ(store.Get_Upload(1, untouched).nIndex, 0) << untouched;
  }
  EXPECT_EQ(historyRows(opened("same")), 1);
  EXPECT_EQ(historyRows(opened("never")), 1);
  EXPECT_EQ(historyRows(opened("arriving")), 1);
  EXPECT_EQ(historyRows(opened("gone")), 0);
  EXPECT_EQ(historyRows(temp), 0);
  EXPECT_EQ(number("select count(*) from Upload where fullpath = ?", {temp}), 0);
  EXPECT_EQ(store.CheckNeedLock(opened("never")).ullLast, kOpened);
}

TEST_F(TransPortDBOpenHistoryTest, RowsAreFoundAndChangedByFullPath) {
  history("/a", "/l/a", 1, 0, 0);
  EXPECT_EQ(store.CheckOpenHistory("/l/a").nMountid, 0);  // last 0: not yet a copy
  EXPECT_EQ(store.CheckNeedLock("/L/A").strWebpath, "/a");

  store.AddOpenHistory({9, "/other", "/l/a", 5, 100, 90});  // updates, keeps library and path
  EXPECT_EQ(historyRows("/l/a"), 1);
  OpenTransportItem row = store.CheckOpenHistory("/l/a");
  EXPECT_EQ(row.nMountid, 1);
  EXPECT_EQ(row.strWebpath, "/a");
  EXPECT_EQ(row.ullFilesize, 5u);
  EXPECT_EQ(row.ullUploadTime, 90u);

  store.UpdateOpenHistory("/l/a", 6, 120, 90);
  store.updateOpenUploadFinish("/l/a");
  row = store.CheckOpenHistory("/l/a");
  EXPECT_EQ(row.ullFilesize, 6u);
  EXPECT_EQ(row.ullUploadTime, 120u);

  store.DeleteOpenHistory(5, "/unrelated", "/l/a");
  EXPECT_EQ(store.CheckNeedLock("/l/a").nMountid, 0);
}

using TransPortDBTransactionTest = TransPortDBTestBase;

TEST_F(TransPortDBTransactionTest, GuardCommitsEveryStatementOfTheConnectionOnce) {
  // Another connection sees only what was committed.
  auto committed = [&] {
    FMDatabase other(path());
    other.open();
    return longForQuery(other, "select count(*) from Upload");
  };
  {
    TransPortDB::Transaction outer(store);
    ASSERT_TRUE(outer.began());
    TransportItem a = record(1, "/a");
    ASSERT_TRUE(store.Add_Upload(a, "/"));
    {
      TransPortDB::Transaction inner(store);  // nested: begins and ends nothing
      EXPECT_FALSE(inner.began());
      TransportItem b = record(1, "/b");
      ASSERT_TRUE(store.Add_Upload(b, "/"));
    }
    EXPECT_EQ(committed(), 0);
    EXPECT_EQ(store.GetUploadCount(), 2);
  }
  EXPECT_EQ(committed(), 2);
  store.TransactionEnd();  // nothing open: nothing happens
  EXPECT_EQ(store.GetUploadCount(), 2);
}

TEST_F(TransPortDBTransactionTest, GuardEndsTheTransactionWhenTheScopeThrows) {
  try {
    TransPortDB::Transaction transaction(store);
    TransportItem a = record(1, "/a");
    store.Add_Upload(a, "/");
    throw std::runtime_error("bulk addition failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(store.TransactionBegin());  // none was left open
  store.TransactionEnd();
  EXPECT_EQ(store.GetUploadCount(), 1);
}

}  // namespace
}  // namespace nb::test
