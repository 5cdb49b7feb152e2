// The copy monitor's percentages, measured on real files in a temporary
// folder; passes are run by hand, so no timing is involved.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/OperationQueue.h"
#include "shell/copy/CopyProgress.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

class CopyProgressTest : public TempHome {
 protected:
  std::string at(const std::string& name) const { return (root() / name).string(); }
  void write(const std::string& name, std::size_t bytes) {
    std::ofstream(at(name), std::ios::binary) << std::string(bytes, 'x');
  }
  CopyItem file(const std::string& name, std::uint64_t size) const {
    CopyItem item;
    item.webpath = "/lib/" + name;
    item.oldpath = "/source/" + name;
    item.newpath = at(name);
    item.sumsize = size;
    return item;
  }
  CopyItem folder(const std::string& name) const {
    CopyItem item = file(name, 0);
    item.bDir = true;
    return item;
  }
  // Runs one pass and answers what it reported.
  static std::vector<std::uint64_t> passes(CopyProgress& monitor, int count) {
    std::vector<std::uint64_t> reports;
    monitor.setProgressCallBack([&](std::uint64_t p) { reports.push_back(p); });
    for (int i = 0; i < count; ++i) monitor.pass();
    return reports;
  }
};

TEST_F(CopyProgressTest, TotalsAndPercentage) {
  CopyAll all({file("a", 100), folder("d"), file("b", 300)});
  EXPECT_EQ(all.files.size(), 2u);
  EXPECT_EQ(all.folders.size(), 1u);
  EXPECT_EQ(all.sumsize, 400u);
  EXPECT_EQ(all.sumcount, 3u);
  EXPECT_EQ(all.progress(0), 0u);
  EXPECT_EQ(all.progress(399), 99u) << "rounded down";
  CopyAll empty({folder("x")});
  EXPECT_EQ(empty.progress(0), 0u) << "nothing to copy, not finished";
}

TEST_F(CopyProgressTest, HalfOfOneOfTwoEqualFilesIsTwentyFivePercent) {
  write("a", 50);  // b's destination does not exist yet: it counts 0
  auto job = std::make_shared<CopyJob>(std::vector<CopyItem>{file("a", 100), file("b", 100)});
  CopyProgress monitor(job);
  EXPECT_EQ(passes(monitor, 1), std::vector<std::uint64_t>{25});
  EXPECT_FALSE(monitor.isfinished());
  write("a", 100);
  write("b", 100);
  EXPECT_EQ(passes(monitor, 1), std::vector<std::uint64_t>{100});
  EXPECT_TRUE(monitor.isfinished());
}

TEST_F(CopyProgressTest, EmptyFoldersReportZeroUntilTheyAllExist) {
  auto job = std::make_shared<CopyJob>(std::vector<CopyItem>{folder("d1"), folder("d2")});
  CopyProgress monitor(job);
  std::filesystem::create_directory(at("d1"));
  EXPECT_EQ(passes(monitor, 1), std::vector<std::uint64_t>{0});
  std::filesystem::create_directory(at("d2"));
  EXPECT_EQ(passes(monitor, 1), std::vector<std::uint64_t>{100});
}

TEST_F(CopyProgressTest, AListTheCopierWentThroughEndsAtHundredDespiteAFailedItem) {
  write("a", 10);  // "b" failed and never arrives
  auto job = std::make_shared<CopyJob>(std::vector<CopyItem>{file("a", 10), file("b", 90)});
  CopyProgress monitor(job);
  EXPECT_EQ(passes(monitor, 1), std::vector<std::uint64_t>{10});
  job->markDone();
  EXPECT_TRUE(monitor.isfinished());
  EXPECT_EQ(passes(monitor, 1), std::vector<std::uint64_t>{100});
}

TEST_F(CopyProgressTest, AStoppedMonitorReportsNothingAndEndsOnTheQueue) {
  auto job = std::make_shared<CopyJob>(std::vector<CopyItem>{file("a", 10)});
  auto monitor = std::make_shared<CopyProgress>(job);
  std::atomic<int> reports{0};
  monitor->setProgressCallBack([&](std::uint64_t) { ++reports; });
  platform::OperationQueue queue(1);
  queue.addOperation(monitor);
  while (reports.load() == 0) std::this_thread::yield();
  monitor->stop();
  queue.waitUntilAllOperationsAreFinished();  // the wait between passes ends at once
  const int seen = reports.load();
  monitor->pass();
  EXPECT_EQ(reports.load(), seen);
}

}  // namespace
}  // namespace nb::test
