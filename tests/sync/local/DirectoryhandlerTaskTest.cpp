#include "sync/local/DirectoryhandlerTask.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/LogCapture.h"
#include "support/TempHome.h"
#include "sync/local/Directoryhandler.h"
#include "sync/local/RecordingEventTarget.h"

namespace nb {
namespace {

namespace fs = std::filesystem;
using platform::HandlerItem;

// One hand-built event: path relative to the root, id and flags "c r m d"
// (create, rename, modify, delete).
struct Event {
  const char* path;
  int64_t id;
  const char* flags;
};

struct DecodeCase {
  const char* name;
  std::vector<const char*> existing;  // made before decoding; a trailing "/" makes a folder
  std::vector<Event> batch;
  std::vector<std::string> calls;
};

class DirectoryhandlerTaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = test::makeTempDir("nbdecode");
    handler_ = Directoryhandler::initpath(root_.string());
    first_ = std::make_shared<test::RecordingEventTarget>(root_.string());
    second_ = std::make_shared<test::RecordingEventTarget>(root_.string());
    handler_->AddManager(first_);
    handler_->AddManager(second_);
  }
  void TearDown() override { fs::remove_all(root_); }

  void make(const std::string& relative) {
    const fs::path path = root_ / relative;
    if (relative.back() == '/') {
      fs::create_directories(path);
    } else {
      fs::create_directories(path.parent_path());
      std::ofstream(path) << "x";
    }
  }

  std::vector<HandlerItem> items(const std::vector<Event>& events) const {
    std::vector<HandlerItem> batch;
    for (const Event& e : events) {
      HandlerItem item;
      item.path = (root_ / e.path).string();
      item.itemid = e.id;
      const std::string flags = e.flags;
      item.bCreate = flags.find('c') != std::string::npos;
      item.bRename = flags.find('r') != std::string::npos;
      item.bModify = flags.find('m') != std::string::npos;
      item.bRemove = flags.find('d') != std::string::npos;
      batch.push_back(item);
    }
    return batch;
  }

  void run(std::vector<HandlerItem> batch) { DirectoryhandlerTask(handler_, std::move(batch)).main(); }

  fs::path root_;
  std::shared_ptr<Directoryhandler> handler_;
  std::shared_ptr<test::RecordingEventTarget> first_;
  std::shared_ptr<test::RecordingEventTarget> second_;
};

TEST_F(DirectoryhandlerTaskTest, DecodesBatchesAsTheEngineExpects) {
  const DecodeCase cases[] = {
      {"rename in one folder", {"b.txt"}, {{"a.txt", 8, "r"}, {"b.txt", 9, "r"}},
       {"rename a.txt b.txt"}},
      {"move between folders", {"y/a.txt"}, {{"x/a.txt", 8, "r"}, {"y/a.txt", 9, "r"}},
       {"remove x/a.txt y/a.txt"}},
      {"folder one level deeper", {"x/g/f/"}, {{"x/f", 8, "r"}, {"x/g/f", 9, "r"}},
       {"remove x/f x/g/f"}},
      {"case-only rename two apart", {"report.doc"},
       {{"Report.doc", 8, "r"}, {"report.doc", 10, "r"}}, {"rename Report.doc report.doc"}},
      {"two apart needs equal letters", {"b.txt"}, {{"a.txt", 8, "r"}, {"b.txt", 10, "r"}},
       {"del a.txt", "update b.txt"}},
      {"engine's own download copy", {"f.pdf"}, {{"f.pdf.nbcopy", 8, "r"}, {"f.pdf", 9, "r"}}, {}},
      {"own copy in capitals", {"f.pdf"}, {{"f.pdf.NBCOPY", 8, "r"}, {"f.pdf", 9, "r"}}, {}},
      {"single create", {"n.txt"}, {{"n.txt", 8, "c"}}, {"add n.txt"}},
      {"single create and modify", {"n.txt"}, {{"n.txt", 8, "cm"}}, {"update n.txt"}},
      {"single rename in", {"n.txt"}, {{"n.txt", 8, "r"}}, {"update n.txt"}},
      {"single rename out", {}, {{"n.txt", 8, "r"}}, {"del n.txt"}},
      {"removed and modified", {"here.txt"}, {{"gone.txt", 8, "d"}, {"here.txt", 12, "m"}},
       {"del gone.txt", "update here.txt"}},
      {"half whose partner is elsewhere", {"c.txt"}, {{"a.txt", 8, "r"}, {"c.txt", 12, "m"}},
       {"del a.txt", "update c.txt"}},
      {"partner path gone", {"a.txt"}, {{"a.txt", 8, "r"}, {"b.txt", 9, "r"}},
       {"update a.txt", "del b.txt"}},
      {"identical paths", {"a.txt"}, {{"a.txt", 8, "c"}, {"a.txt", 9, "c"}},
       {"update a.txt", "update a.txt"}},
      // The pairing rule itself: neighbouring ids pair even for two creations;
      // the watcher never numbers two creations as neighbours.
      {"two creations with neighbouring ids", {"one.txt", "two.txt"},
       {{"one.txt", 8, "c"}, {"two.txt", 9, "c"}}, {"rename one.txt two.txt"}},
      {"two creations four apart", {"one.txt", "two.txt"},
       {{"one.txt", 8, "cm"}, {"two.txt", 12, "cm"}}, {"update one.txt", "update two.txt"}},
      // An item is decided before a later item can mark it used.
      {"partner listed before the item", {"b.txt"}, {{"b.txt", 9, "r"}, {"a.txt", 8, "r"}},
       {"update b.txt", "rename a.txt b.txt"}},
      {"empty batch", {}, {}, {}},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_);
    fs::create_directories(root_);
    for (const char* path : c.existing) make(path);
    auto before = first_->calls().size();
    run(items(c.batch));
    const auto calls = first_->calls();
    EXPECT_EQ(std::vector<std::string>(calls.begin() + static_cast<long>(before), calls.end()),
              c.calls);
  }
  EXPECT_EQ(first_->calls(), second_->calls());
  EXPECT_TRUE(first_->lockErrors().empty());
  EXPECT_TRUE(second_->lockErrors().empty());
}

TEST_F(DirectoryhandlerTaskTest, PairedNewHalfIsMarkedUsed) {
  make("b.txt");
  DirectoryhandlerTask task(handler_, items({{"a.txt", 8, "r"}, {"b.txt", 9, "r"}}));
  task.main();
  EXPECT_FALSE(task._array()[0].bUse);
  EXPECT_TRUE(task._array()[1].bUse);
}

TEST_F(DirectoryhandlerTaskTest, StoppedHandlerDropsTheBatch) {
  make("n.txt");
  handler_->stopMonitoring();
  run(items({{"n.txt", 8, "c"}}));
  EXPECT_TRUE(first_->calls().empty());
}

TEST_F(DirectoryhandlerTaskTest, ExceptionEndsTheBatchUnlocksLogsAndAsksForARescan) {
  make("a.txt");
  make("b.txt");
  first_->throwOn("update a.txt");
  test::LogCapture log;
  run(items({{"a.txt", 8, "m"}, {"b.txt", 12, "m"}}));
  EXPECT_EQ(first_->calls(), std::vector<std::string>{"update a.txt"});
  EXPECT_TRUE(second_->calls().empty());
  EXPECT_FALSE(first_->locked());
  EXPECT_TRUE(first_->lockErrors().empty());
  EXPECT_EQ(first_->rescans(), 1);
  EXPECT_EQ(second_->rescans(), 1);
  ASSERT_EQ(log.errorLines().size(), 1u);
  EXPECT_NE(log.errorLines()[0].find("handler failed"), std::string::npos);
}

TEST_F(DirectoryhandlerTaskTest, ManagersAreAddedOnceAndRemoved) {
  handler_->AddManager(first_);
  EXPECT_EQ(handler_->_managerlist().size(), 2u);
  handler_->DelManager(first_.get());
  make("n.txt");
  run(items({{"n.txt", 8, "c"}}));
  EXPECT_TRUE(first_->calls().empty());
  EXPECT_EQ(second_->calls(), std::vector<std::string>{"add n.txt"});
}

}  // namespace
}  // namespace nb
