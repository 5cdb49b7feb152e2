// Folder transfer tasks: which completion is covered by which task, and when
// a task is dissolved.

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "stores/transfer/TransPortDBFixture.h"

namespace nb::test {
namespace {

class TransPortDBTaskDirsTest : public TransPortDBTestBase {
 protected:
  // A finished folder task of library 1: web "Docs", local "/l/Docs".
  void finishedTask(const std::string& web = "Docs", const std::string& full = "/l/Docs") {
    store.addTaskDir(1, web, full);
    store.addTaskDirFinish(1, web, full);
  }
  void download(const std::string& webpath, const std::string& fullpath, std::int64_t expand = 0,
                std::int64_t status = kTransWaiting) {
    TransportItem item = record(1, webpath, fullpath);
    item.nExpand = expand;
    item.nStatus = status;
    store.Add_Download(item);
  }
  void upload(const std::string& webpath, const std::string& fullpath) {
    TransportItem item = record(1, webpath, fullpath);
    ASSERT_TRUE(store.Add_Upload(item, "/"));
  }
  // The answer of a download check and the web path it gives back.
  std::pair<bool, std::string> downloaded(const std::string& webpath, const std::string& fullpath,
                                          std::int64_t mountid = 1) {
    std::string path = webpath;
    const bool notify = store.checkInTaskDirFinish(mountid, path, fullpath);
    return {notify, path};
  }
  std::pair<bool, std::string> uploaded(const std::string& webpath, const std::string& fullpath) {
    std::string path = webpath;
    const bool notify = store.checkInTaskUploadDirFinish(1, path, fullpath);
    return {notify, path};
  }
  std::size_t tasks() { return store.nodeArray().value_or(std::vector<TaskDir_Stx>{}).size(); }
  std::int64_t rows() { return number("select count(*) from TaskDir"); }
};

TEST_F(TransPortDBTaskDirsTest, LastCompletionUnderAFinishedTaskDissolvesIt) {
  finishedTask();
  download("Docs/b", "/l/Docs/b");
  download("Docs/hidden", "/l/Docs/hidden", 256);  // hidden downloads do not hold it open
  EXPECT_EQ(downloaded("Docs/a", "/l/Docs/a"), std::pair(false, std::string("Docs")));
  exec("update Download set status = 4 where webpath = 'Docs/b'");
  EXPECT_EQ(downloaded("Docs/b", "/l/Docs/b"), std::pair(true, std::string("Docs")));
  EXPECT_EQ(tasks(), 0u);
  EXPECT_EQ(rows(), 0);
}

TEST_F(TransPortDBTaskDirsTest, AnUnfinishedTaskHoldsItsNotice) {
  store.addTaskDir(1, "Docs", "/l/Docs");
  EXPECT_EQ(downloaded("Docs/a", "/l/Docs/a"), std::pair(false, std::string("Docs")));
  EXPECT_EQ(tasks(), 1u);
}

TEST_F(TransPortDBTaskDirsTest, CoverageNeedsAFolderBoundaryAndNonEmptyPaths) {
  finishedTask();
  store.addTaskDir(1, "", "/l/root");       // the library root covers nothing
  store.addTaskDirFinish(1, "", "/l/root");
  store.addTaskDir(1, "Copy", "");          // no local folder covers no download
  store.addTaskDirFinish(1, "Copy", "");
  struct Case {
    const char* webpath;
    const char* fullpath;
    std::int64_t mountid;
  };
  const Case uncovered[] = {
      {"Docs2/x", "/l/Docs/x", 1},  // "Docs" does not cover "Docs2"
      {"Docs/x", "/l/Docs2/x", 1},
      {"docs/x", "/l/docs/x", 1},   // letter case matters
      {"Docs/x", "/l/Docs/x", 2},   // another library
      {"x", "/l/root/x", 1},
      {"Copy/x", "/l/Copy/x", 1},
  };
  for (const auto& c : uncovered) {
    EXPECT_EQ(downloaded(c.webpath, c.fullpath, c.mountid), std::pair(true, std::string(c.webpath)))
        << c.webpath << " " << c.fullpath;
  }
  EXPECT_EQ(tasks(), 3u);
  EXPECT_EQ(downloaded("Docs", "/l/Docs"), std::pair(true, std::string("Docs")));  // itself
  EXPECT_EQ(tasks(), 2u);
}

TEST_F(TransPortDBTaskDirsTest, UploadsByHashAndCopyTasksMatchByWebPath) {
  store.addTaskDir(1, "Copy", "");
  store.addTaskDirFinish(1, "Copy", "");
  upload("Copy/a", "");
  upload("Copy2/z", "");
  EXPECT_EQ(uploaded("Copy/b", ""), std::pair(false, std::string("Copy")));
  exec("update Upload set status = 4 where webpath = 'Copy/a'");
  EXPECT_EQ(uploaded("Copy/a", ""), std::pair(true, std::string("Copy")));
  EXPECT_EQ(tasks(), 0u);

  // A local folder task counts the uploads under its local folder.
  finishedTask("Up", "/l/Up");
  upload("Up/a", "/l/Up/a");
  upload("Other/b", "/l/Up2/b");
  EXPECT_EQ(uploaded("Up/x", "/l/Up/x"), std::pair(false, std::string("Up")));
  exec("update Upload set status = 4 where webpath = 'Up/a'");
  EXPECT_EQ(uploaded("Up/a", "/l/Up/a"), std::pair(true, std::string("Up")));
}

TEST_F(TransPortDBTaskDirsTest, OneTaskAndOneRowPerFolder) {
  store.addTaskDir(1, "Docs", "/l/Docs");
  store.addTaskDir(1, "Docs", "/l/Docs");
  EXPECT_EQ(tasks(), 1u);
  EXPECT_EQ(rows(), 1);
  store.addTaskDir(1, "Docs", "/l/DOCS");  // the key ignores letter case
  EXPECT_EQ(tasks(), 2u);
  EXPECT_EQ(rows(), 1);
  EXPECT_EQ(text("select fullpath from TaskDir"), "/l/DOCS");
}

TEST_F(TransPortDBTaskDirsTest, WithoutAListEveryCheckAnswersYes) {
  store.exit();
  store.addTaskDir(1, "Docs", "/l/Docs");
  store.addTaskDirFinish(1, "Docs", "/l/Docs");
  EXPECT_EQ(rows(), 1);
  EXPECT_EQ(downloaded("Docs/a", "/l/Docs/a"), std::pair(true, std::string("Docs/a")));
  // Tasks loaded at the next opening start unfinished.
  store.setPath(path());
  EXPECT_EQ(downloaded("Docs/a", "/l/Docs/a"), std::pair(false, std::string("Docs")));
}

// Completions of files under one finished task arrive from several
// transfer threads at once (other tasks being added meanwhile); `signOut`
// ends the session while they run. The number of completions that
// dissolved the task.
int dissolveFromManyThreads(TransPortDB& store, bool signOut) {
  std::atomic<int> dissolved{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      for (int n = 0; n < 10; ++n) {
        std::string path = "Docs/a";
        if (store.checkInTaskDirFinish(1, path, "/l/Docs/a") && path == "Docs") ++dissolved;
        store.addTaskDir(2, "Other", "/l/Other" + std::to_string(n));
      }
    });
  }
  if (signOut) store.exit();
  for (auto& t : threads) t.join();
  return dissolved.load();
}

TEST_F(TransPortDBTaskDirsTest, CompletionsFromManyThreadsDissolveATaskExactlyOnce) {
  finishedTask();
  EXPECT_EQ(dissolveFromManyThreads(store, false), 1);
  EXPECT_EQ(number("select count(*) from TaskDir where mountid = 1"), 0);
}

// After a sign-out every check answers yes without a task: the one
// dissolution may or may not have happened before it, never twice.
TEST_F(TransPortDBTaskDirsTest, CompletionsDuringASignOutDissolveATaskAtMostOnce) {
  finishedTask();
  EXPECT_LE(dissolveFromManyThreads(store, true), 1);
}

}  // namespace
}  // namespace nb::test
