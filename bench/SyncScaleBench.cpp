// The first sync of a large library, both ways, through the real sync engine
// and transfer engine against the in-process fake service: 46,810 files in
// 4,210 folders (sizes from a fixed seed: most under 16 KiB, a dozen of a
// few MiB) come down into an empty linked folder, and the same tree goes up
// from a local folder into an empty library folder.
//
// Reported per run: wall time, files/s, the scans' pacing pauses (counted,
// not slept: the world's sleeper skips them; each stands for 0.01 s), the
// peak resident memory of the process and what it was before the sync.
// The fake service lives in the same process and holds every file's content
// in memory, so "rss_before" already includes the served tree.
//
//   bench_SyncScaleBench --benchmark_filter=/46810   (a Release tree gives real figures)

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "api/session/UserData.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "support/ManualClock.h"
#include "support/RealTransferEngine.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncManager.h"
#include "transfer/engine/Network.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TreeFile {
  std::string path;  // relative to the synced folder
  std::size_t size = 0;
};

// 10 x 20 x 20 leaf folders under 210 inner ones; files spread evenly over
// the leaves. Sizes log-uniform from 64 B to 16 KiB, except a dozen of 2-6 MiB.
std::vector<TreeFile> makeTree(std::size_t files) {
  std::mt19937_64 random(20261211);
  std::uniform_real_distribution<double> logSize(std::log(64.0), std::log(16384.0));
  std::uniform_int_distribution<std::size_t> bigSize(2u << 20, 6u << 20);
  std::vector<TreeFile> tree;
  tree.reserve(files);
  const std::size_t bigEvery = files / 12 + 1;
  for (std::size_t i = 0; i < files; ++i) {
    const std::size_t leaf = i % 4000;
    TreeFile file;
    file.path = "t" + std::to_string(leaf / 400) + "/m" + std::to_string(leaf / 20 % 20) + "/l" +
                std::to_string(leaf % 20) + "/f" + std::to_string(i) + ".dat";
    file.size = i % bigEvery == bigEvery / 2 ? bigSize(random)
                                             : static_cast<std::size_t>(std::exp(logSize(random)));
    tree.push_back(std::move(file));
  }
  return tree;
}

std::string contentOf(const TreeFile& file, std::size_t i) {
  std::string bytes(file.size, '\0');
  std::uint64_t x = 0x9E3779B97F4A7C15ull * (i + 1);
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    c = static_cast<char>(x);
  }
  return bytes;
}

long peakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

long currentRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

// The sync test world, run outside a test: its checks report to gtest's
// ad-hoc result, and the benchmark reads the outcome itself.
class ScaleWorld : public nb::test::SyncWorld {
 public:
  void TestBody() override {}
  void start() { SetUp(); }
  void stop() {
    engine_.reset();
    TearDown();
  }

  double syncDown(const std::vector<TreeFile>& tree, benchmark::State& state) {
    for (std::size_t i = 0; i < tree.size(); ++i) putServerFile("down/" + tree[i].path, contentOf(tree[i], i));
    linkFolder("down", "Down");
    return timedFirstSync(state);
  }

  double syncUp(const std::vector<TreeFile>& tree, benchmark::State& state) {
    addServerFolder("up");
    for (std::size_t i = 0; i < tree.size(); ++i) writeLocal("Up/" + tree[i].path, contentOf(tree[i], i));
    linkFolder("up", "Up");
    return timedFirstSync(state);
  }

  std::size_t syncedFiles() {
    std::size_t synced = 0;
    for (const auto& [path, row] : storeRows()) synced += !row.dir && row.status == 3 ? 1 : 0;
    return synced;
  }

 private:
  double timedFirstSync(benchmark::State& state) {
    app().setLoginFinish(true);
    nb::UserData::shareUserData().setBTransStart(true);
    const long before = currentRssKiB();
    const std::size_t pausesBefore = scanPauses();
    // The engines run on the real clock, so their own pacing (dispatch
    // passes, retry waits) costs real time as it would for a user; the
    // world's manual clock would make them wait for the drain's steps.
    nb::test::ScopedClockOverride realTime(nb::platform::Clock::system());
    const auto began = Clock::now();
    runCoordinatorPass();
    engine_ = std::make_unique<nb::test::RealTransferEngine>(nb::Network::shareNetwork());
    runComparePass();
    if (!engine_->drain(clock(), 3600)) state.SkipWithError("transfers did not end");
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    state.counters["rss_before_MiB"] = static_cast<double>(before) / 1024.0;
    state.counters["scan_pauses"] = static_cast<double>(scanPauses() - pausesBefore);
    return seconds;
  }

  std::unique_ptr<nb::test::RealTransferEngine> engine_;
};

void report(benchmark::State& state, double seconds, std::size_t files, std::size_t synced) {
  state.SetIterationTime(seconds);
  state.counters["files"] = static_cast<double>(files);
  state.counters["synced"] = static_cast<double>(synced);
  state.counters["files_per_s"] = static_cast<double>(files) / seconds;
  state.counters["peak_rss_MiB"] = static_cast<double>(peakRssKiB()) / 1024.0;
  if (synced != files) state.SkipWithError("not every file ended in sync");
}

// One first sync of the tree, down into an empty linked folder or up from
// a local folder into an empty library folder.
void firstSync(benchmark::State& state, bool down) {
  nb::platform::logger()->set_level(spdlog::level::warn);
  const auto tree = makeTree(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    ScaleWorld world;
    world.start();
    const double seconds = down ? world.syncDown(tree, state) : world.syncUp(tree, state);
    report(state, seconds, tree.size(), world.syncedFiles());
    world.stop();
  }
}

void BM_FirstSyncDown(benchmark::State& state) { firstSync(state, true); }
void BM_FirstSyncUp(benchmark::State& state) { firstSync(state, false); }

}  // namespace

BENCHMARK(BM_FirstSyncDown)->Arg(2000)->Arg(46810)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_FirstSyncUp)->Arg(2000)->Arg(46810)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK_MAIN();
