#include "sync/local/Directoryhandler.h"

#include <sys/inotify.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/TempHome.h"
#include "sync/local/RecordingEventTarget.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

bool has(const std::vector<std::string>& calls, const std::string& call) {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

// A handler watching a fresh folder for two managers, as two libraries
// linked at the same folder share one.
class DirectoryhandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = test::makeTempDir("nbhandler");
    root_ = base_ / "root";
    fs::create_directories(root_);
    handler_ = Directoryhandler::initpath(root_.string());
    first_ = std::make_shared<test::RecordingEventTarget>(root_.string());
    second_ = std::make_shared<test::RecordingEventTarget>(root_.string());
    handler_->AddManager(first_);
    handler_->AddManager(second_);
    handler_->startMonitoringThread();
    ASSERT_TRUE(handler_->waitUntilWatching());
  }
  void TearDown() override {
    if (handler_) handler_->stopMonitoring();
    handler_.reset();
    fs::remove_all(base_);
  }

  fs::path base_;
  fs::path root_;
  std::shared_ptr<Directoryhandler> handler_;
  std::shared_ptr<test::RecordingEventTarget> first_;
  std::shared_ptr<test::RecordingEventTarget> second_;
};

TEST_F(DirectoryhandlerTest, RootKeepsOneTrailingSlash) {
  EXPECT_EQ(handler_->_srcPath(), root_.string() + "/");
  EXPECT_EQ(Directoryhandler::initpath("/a/b//")->_srcPath(), "/a/b/");
}

TEST_F(DirectoryhandlerTest, TwoFilesCreatedTogetherAreTwoAdditions) {
  std::ofstream(root_ / "one.txt") << "1";
  std::ofstream(root_ / "two.txt") << "2";
  ASSERT_TRUE(first_->waitFor([](const auto& calls) { return calls.size() >= 2; }));
  handler_->waitUntilIdle();
  for (const auto& target : {first_, second_}) {
    const auto calls = target->calls();
    EXPECT_GE(calls.size(), 2u);  // a write split over two batches adds an update
    for (const auto& call : calls) EXPECT_EQ(call.find("rename"), std::string::npos) << call;
    EXPECT_TRUE(has(calls, "update one.txt") || has(calls, "add one.txt"));
    EXPECT_TRUE(has(calls, "update two.txt") || has(calls, "add two.txt"));
    EXPECT_TRUE(target->lockErrors().empty());
  }
}

TEST_F(DirectoryhandlerTest, RealRenameAndMoveReachTheirHandlers) {
  fs::create_directories(root_ / "x");
  fs::create_directories(root_ / "y");
  // What a new folder holds before its watch reaches the engine through a
  // scan, not as events: write into them once they are watched.
  ASSERT_TRUE(first_->waitFor([](const auto& c) {
    return (has(c, "add x") || has(c, "update x")) && (has(c, "add y") || has(c, "update y"));
  }));
  handler_->waitUntilIdle();
  std::ofstream(root_ / "x" / "a.txt") << "a";
  ASSERT_TRUE(first_->waitFor([](const auto& c) { return has(c, "update x/a.txt"); }));
  fs::rename(root_ / "x" / "a.txt", root_ / "x" / "b.txt");
  ASSERT_TRUE(first_->waitFor([](const auto& c) { return has(c, "rename x/a.txt x/b.txt"); }));
  fs::rename(root_ / "x" / "b.txt", root_ / "y" / "b.txt");
  ASSERT_TRUE(first_->waitFor([](const auto& c) { return has(c, "remove x/b.txt y/b.txt"); }));
  handler_->waitUntilIdle();
  EXPECT_EQ(first_->calls(), second_->calls());
}

TEST_F(DirectoryhandlerTest, DeletedRootUnlinksItselfWithoutWaitingForItsQueue) {
  // The manager unlinks the root from inside the batch, dropping the last
  // outside reference: the batch's own reference keeps the handler alive.
  std::weak_ptr<Directoryhandler> weak = handler_;
  first_->onCall("del .", [this] {
    handler_->stopMonitoring();
    handler_.reset();
  });
  fs::remove_all(root_);
  ASSERT_TRUE(first_->waitFor([](const auto& c) { return has(c, "del ."); }));
  ASSERT_TRUE(second_->waitFor([](const auto& c) { return has(c, "del ."); }));
  for (int i = 0; i < 2000 && !weak.expired(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(weak.expired());
}

TEST_F(DirectoryhandlerTest, OverflowAsksEveryManagerForARescan) {
  handler_->watcher().simulateOverflow();
  EXPECT_TRUE(first_->waitForRescans(1));
  EXPECT_TRUE(second_->waitForRescans(1));
  EXPECT_FALSE(handler_->checkWatches());  // nothing lacks a watch
}

TEST_F(DirectoryhandlerTest, EventsAfterStopAreDropped) {
  handler_->stopMonitoring();
  std::ofstream(root_ / "late.txt") << "x";
  handler_->_SCEventsCallBack({platform::HandlerItem{(root_ / "late.txt").string()}});
  handler_->waitUntilIdle();
  EXPECT_TRUE(first_->calls().empty());
}

TEST(DirectoryhandlerLimitTest, MissingWatchesAskForARescanBeforeEachCycle) {
  const fs::path root = test::makeTempDir("nblimit");
  fs::create_directories(root / "big");
  auto refuse = std::make_shared<std::atomic<bool>>(true);
  platform::FolderWatcher::Options options;
  options.addWatch = [refuse](int fd, const std::string& path, uint32_t mask) {
    if (*refuse && path.find("/big") != std::string::npos) {
      errno = ENOSPC;
      return -1;
    }
    return ::inotify_add_watch(fd, path.c_str(), mask);
  };
  auto handler = Directoryhandler::initpath(root.string(), std::move(options));
  auto target = std::make_shared<test::RecordingEventTarget>(root.string());
  handler->AddManager(target);
  handler->startMonitoringThread();
  ASSERT_TRUE(handler->waitUntilWatching());
  ASSERT_TRUE(target->waitForRescans(1));  // at once, for the unwatched folder

  EXPECT_TRUE(handler->checkWatches());  // still lacking: asked again
  EXPECT_EQ(target->rescans(), 2);
  *refuse = false;
  EXPECT_FALSE(handler->checkWatches());  // watched now: no more rescans
  EXPECT_FALSE(handler->checkWatches());
  EXPECT_EQ(target->rescans(), 2);
  handler->stopMonitoring();
  fs::remove_all(root);
}

}  // namespace
}  // namespace nb
