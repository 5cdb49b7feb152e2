#include "platform/FolderWatcher.h"

#include <sys/inotify.h>
#include <sys/stat.h>

#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>

#include <gtest/gtest.h>

#include "support/LogCapture.h"
#include "support/TempHome.h"

namespace nb::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void writeFile(const fs::path& path, const std::string& text = "x") {
  std::ofstream(path) << text;
}

// Starts a watcher on a fresh folder and records what it reports.
class FolderWatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = test::makeTempDir("nbwatch");
    root_ = base_ / "root";
    fs::create_directories(root_);
  }
  void TearDown() override {
    watcher_.reset();
    fs::remove_all(base_);
  }

  void startWatcher(FolderWatcher::Options options = {}) {
    watcher_ = std::make_unique<FolderWatcher>(
        root_.string() + "/",
        [this](std::vector<HandlerItem> batch) {
          std::lock_guard lock(mutex_);
          batches_.push_back(std::move(batch));
          changed_.notify_all();
        },
        [this] {
          std::lock_guard lock(mutex_);
          ++rescans_;
          changed_.notify_all();
        },
        std::move(options));
    ASSERT_TRUE(watcher_->start());
    ASSERT_TRUE(watcher_->waitUntilWatching());
  }

  // Waits until `done` holds for every item reported so far.
  bool waitFor(const std::function<bool(const std::vector<HandlerItem>&)>& done,
               std::chrono::seconds limit = 20s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(itemsLocked()); });
  }
  bool waitForPath(const fs::path& path) {
    return waitFor([&](const auto& items) { return find(items, path) != nullptr; });
  }

  std::vector<HandlerItem> items() {
    std::lock_guard lock(mutex_);
    return itemsLocked();
  }
  int rescans() {
    std::lock_guard lock(mutex_);
    return rescans_;
  }
  bool waitForRescans(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 20s, [&] { return rescans_ >= count; });
  }

  // For use inside waitFor's predicate, which runs under the lock.
  int rescansUnlocked() const { return rescans_; }

  static const HandlerItem* find(const std::vector<HandlerItem>& items, const fs::path& path) {
    for (const auto& item : items) {
      if (item.path == path.string()) return &item;
    }
    return nullptr;
  }

  fs::path base_;
  fs::path root_;
  std::unique_ptr<FolderWatcher> watcher_;

 private:
  std::vector<HandlerItem> itemsLocked() const {
    std::vector<HandlerItem> all;
    for (const auto& batch : batches_) all.insert(all.end(), batch.begin(), batch.end());
    return all;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::vector<HandlerItem>> batches_;
  int rescans_ = 0;
};

TEST_F(FolderWatcherTest, FileLifeGivesFlagsPathsAndIds) {
  startWatcher();
  writeFile(root_ / "a.txt");
  ASSERT_TRUE(waitForPath(root_ / "a.txt"));
  const HandlerItem created = *find(items(), root_ / "a.txt");
  EXPECT_TRUE(created.bCreate);
  EXPECT_TRUE(created.bModify);
  EXPECT_EQ(created.type, 0);
  EXPECT_EQ(created.itemid % 4, 0);

  fs::rename(root_ / "a.txt", root_ / "b.txt");
  ASSERT_TRUE(waitForPath(root_ / "b.txt"));
  fs::remove(root_ / "b.txt");
  ASSERT_TRUE(waitFor([&](const auto& all) {
    return std::count_if(all.begin(), all.end(), [&](const HandlerItem& i) {
      return i.path == (root_ / "b.txt").string() && i.bRemove;
    }) == 1;
  }));

  // Robust to a write split over two batches: look at the move alone.
  std::vector<HandlerItem> moves;
  for (const auto& item : items()) {
    EXPECT_FALSE(item.bUse);
    if (item.bRename) moves.push_back(item);
    if (item.bRemove) {
      EXPECT_EQ(item.path, (root_ / "b.txt").string());
    }
  }
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_EQ(moves[0].path, (root_ / "a.txt").string());
  EXPECT_EQ(moves[1].path, (root_ / "b.txt").string());
  EXPECT_EQ(moves[1].itemid, moves[0].itemid + 1);
}

TEST_F(FolderWatcherTest, MovesPairOnlyTheirTwoHalves) {
  fs::create_directories(root_ / "x");
  fs::create_directories(root_ / "y");
  writeFile(root_ / "x" / "a.txt");
  writeFile(root_ / "Report.doc");
  startWatcher();
  fs::rename(root_ / "x" / "a.txt", root_ / "y" / "a.txt");
  fs::rename(root_ / "Report.doc", root_ / "report.doc");
  writeFile(root_ / "one.txt");
  writeFile(root_ / "two.txt");
  ASSERT_TRUE(waitForPath(root_ / "two.txt"));

  const auto all = items();
  ASSERT_GE(all.size(), 6u);
  EXPECT_EQ(all[0].path, (root_ / "x" / "a.txt").string());
  EXPECT_EQ(all[1].path, (root_ / "y" / "a.txt").string());
  EXPECT_EQ(all[1].itemid, all[0].itemid + 1);
  EXPECT_EQ(all[2].path, (root_ / "Report.doc").string());
  EXPECT_EQ(all[3].path, (root_ / "report.doc").string());
  EXPECT_EQ(all[3].itemid, all[2].itemid + 1);
  // Two plain creations are never neighbours, so no decoding pairs them.
  const HandlerItem* one = find(all, root_ / "one.txt");
  const HandlerItem* two = find(all, root_ / "two.txt");
  EXPECT_TRUE(one->bCreate && two->bCreate);
  EXPECT_GT(two->itemid, one->itemid);
  EXPECT_EQ((two->itemid - one->itemid) % 4, 0);
}

TEST_F(FolderWatcherTest, NewFolderIsWatchedWithItsSubtree) {
  startWatcher();
  // Made faster than the watcher can add its watch.
  fs::create_directories(root_ / "n" / "a" / "b");
  writeFile(root_ / "n" / "a" / "b" / "early.txt");
  ASSERT_TRUE(waitForPath(root_ / "n"));
  EXPECT_EQ(find(items(), root_ / "n")->type, 1);
  EXPECT_TRUE(find(items(), root_ / "n")->bCreate);

  // A folder with content made outside and moved in.
  fs::create_directories(base_ / "outside" / "deep");
  fs::rename(base_ / "outside", root_ / "moved");
  ASSERT_TRUE(waitForPath(root_ / "moved"));
  EXPECT_TRUE(find(items(), root_ / "moved")->bRename);

  writeFile(root_ / "n" / "a" / "b" / "late.txt");
  writeFile(root_ / "moved" / "deep" / "late.txt");
  EXPECT_TRUE(waitForPath(root_ / "n" / "a" / "b" / "late.txt"));
  EXPECT_TRUE(waitForPath(root_ / "moved" / "deep" / "late.txt"));
}

TEST_F(FolderWatcherTest, RenamedFolderReportsItsNewPaths) {
  fs::create_directories(root_ / "d" / "sub");
  startWatcher();
  fs::rename(root_ / "d", root_ / "e");
  writeFile(root_ / "e" / "sub" / "f.txt");
  ASSERT_TRUE(waitForPath(root_ / "e" / "sub" / "f.txt"));

  // Moved out of the tree: its watches go, nothing below it is reported.
  fs::rename(root_ / "e", base_ / "gone");
  writeFile(root_ / "moved-out.txt");
  ASSERT_TRUE(waitForPath(root_ / "moved-out.txt"));
  writeFile(base_ / "gone" / "sub" / "g.txt");
  writeFile(root_ / "marker.txt");
  ASSERT_TRUE(waitForPath(root_ / "marker.txt"));
  for (const auto& item : items()) {
    EXPECT_EQ(item.path.find("g.txt"), std::string::npos) << item.path;
  }
}

// A folder made and renamed (a new letter case, say) before the watcher
// read its creation is gone from its first name when the watch is added:
// the watch comes at the new name, or nothing made in it is ever seen.
TEST_F(FolderWatcherTest, FolderRenamedBeforeItsWatchIsWatchedAtItsNewName) {
  FolderWatcher::Options options;
  options.addWatch = [](int fd, const std::string& path, uint32_t mask) {
    if (path.ends_with("/made")) {
      errno = ENOENT;
      return -1;
    }
    return ::inotify_add_watch(fd, path.c_str(), mask);
  };
  startWatcher(std::move(options));
  fs::create_directory(root_ / "made");
  ASSERT_TRUE(waitForPath(root_ / "made"));
  fs::rename(root_ / "made", root_ / "Made");
  ASSERT_TRUE(waitForPath(root_ / "Made"));
  fs::create_directory(root_ / "Made" / "sub");
  writeFile(root_ / "Made" / "f.txt");
  EXPECT_TRUE(waitForPath(root_ / "Made" / "f.txt"));
  writeFile(root_ / "Made" / "sub" / "g.txt");
  EXPECT_TRUE(waitForPath(root_ / "Made" / "sub" / "g.txt"));
}

TEST_F(FolderWatcherTest, SkipsDsStoreAndAttributeChanges) {
  writeFile(root_ / "keep.txt");
  startWatcher();
  writeFile(root_ / ".DS_Store");
  fs::permissions(root_ / "keep.txt", fs::perms::owner_read | fs::perms::owner_write);
  writeFile(root_ / "marker.txt");
  ASSERT_TRUE(waitForPath(root_ / "marker.txt"));
  const auto all = items();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].path, (root_ / "marker.txt").string());
}

TEST_F(FolderWatcherTest, AttributeChangesAreModificationsWhenAskedFor) {
  writeFile(root_ / "touched.txt");
  FolderWatcher::Options options;
  options.attributeChanges = true;
  startWatcher(std::move(options));
  const auto when = fs::last_write_time(root_ / "touched.txt") - std::chrono::hours(1);
  fs::last_write_time(root_ / "touched.txt", when);
  ASSERT_TRUE(waitForPath(root_ / "touched.txt"));
  const HandlerItem item = *find(items(), root_ / "touched.txt");
  EXPECT_TRUE(item.bModify);
  EXPECT_FALSE(item.bCreate || item.bRemove || item.bRename);
}

TEST_F(FolderWatcherTest, DeletedRootGivesOneRootItem) {
  writeFile(root_ / "a.txt");
  startWatcher();
  fs::remove_all(root_);
  ASSERT_TRUE(waitForPath(root_));
  const HandlerItem root = *find(items(), root_);
  EXPECT_TRUE(root.bRemove);
  EXPECT_EQ(root.path.back(), 't');  // ".../root", no trailing "/"
}

TEST_F(FolderWatcherTest, OverflowAsksForARescan) {
  startWatcher();
  watcher_->simulateOverflow();
  ASSERT_TRUE(waitForRescans(1));
  fs::create_directories(root_ / "after");
  ASSERT_TRUE(waitForPath(root_ / "after"));
  writeFile(root_ / "after" / "f.txt");
  EXPECT_TRUE(waitForPath(root_ / "after" / "f.txt"));
  EXPECT_FALSE(watcher_->lacksWatches());
}

TEST_F(FolderWatcherTest, WatchLimitIsLoggedOnceAndRescansUntilWatched) {
  fs::create_directories(root_ / "big" / "one");
  fs::create_directories(root_ / "big" / "two");
  auto refuse = std::make_shared<std::atomic<bool>>(true);
  FolderWatcher::Options options;
  options.addWatch = [refuse](int fd, const std::string& path, uint32_t mask) {
    if (*refuse && path.find("/big/") != std::string::npos) {
      errno = ENOSPC;
      return -1;
    }
    return ::inotify_add_watch(fd, path.c_str(), mask);
  };
  test::LogCapture log;
  startWatcher(std::move(options));
  ASSERT_TRUE(waitForRescans(1));
  EXPECT_TRUE(watcher_->lacksWatches());
  fs::create_directories(root_ / "big" / "three");
  ASSERT_TRUE(waitForRescans(2));
  EXPECT_FALSE(watcher_->retryWatches());
  EXPECT_EQ(log.errorLines().size(), 1u);
  EXPECT_NE(log.text().find("max_user_watches"), std::string::npos);

  *refuse = false;
  EXPECT_TRUE(watcher_->retryWatches());
  writeFile(root_ / "big" / "one" / "f.txt");
  EXPECT_TRUE(waitForPath(root_ / "big" / "one" / "f.txt"));
}

TEST_F(FolderWatcherTest, TwentyThousandFilesAreAllAccountedFor) {
  startWatcher();
  constexpr int kFiles = 20'000;
  for (int i = 0; i < kFiles; ++i) writeFile(root_ / ("f" + std::to_string(i)), "");
  writeFile(root_ / "last");
  // Either every file was reported, or the watcher asked for the rescan
  // that finds them.
  const bool done = waitFor(
      [&](const auto& all) {
        if (rescansUnlocked() > 0) return true;
        std::set<std::string> seen;
        for (const auto& item : all) seen.insert(item.path);
        return seen.size() >= kFiles + 1;
      },
      120s);
  EXPECT_TRUE(done);
  // No two items of the flood are numbered as the halves of a move.
  const auto all = items();
  for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i].itemid % 4, 0) << all[i].path;
}

}  // namespace
}  // namespace nb::platform
