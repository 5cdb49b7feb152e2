// The first sync of a large library, both ways, through the real sync engine
// and transfer engine against the in-process fake service: 46,810 files in
// 4,210 folders (sizes from a fixed seed: most under 16 KiB, a dozen of a
// few MiB) come down into an empty linked folder, and the same tree goes up
// from a local folder into an empty library folder. The argument is the
// number of files (folders scale with it), so smaller trees run while
// iterating.
//
// The timed sync runs as a signed-in session does: the sync centre's
// coordinator on its own thread (its one-second passes and compare cycles,
// the folder watches it sets up), the transfer engine's dispatch loops, and
// the counts refreshed once a second as the progress thread does. It ends
// when every file row is in sync and no transfer is left.
//
// Reported per run: wall time, files/s, the scans' pacing pauses (counted,
// not slept: the world's sleeper skips them; each stands for 0.01 s, given
// as pacing_s), the peak resident memory of the process and what it was
// before the sync. The fake service lives in the same process and holds
// every file's content in memory, so "rss_before" already includes the
// served tree.
//
// BM_IdleCost: a synced library of N files, nothing changing; the process's
// CPU time (user + system, the fake service included) over 60 s of a
// running session, as a share of one core.
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
#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"
#include "http/shared/ASIHTTPRequestDefaults.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/MemoryArenas.h"
#include "support/ManualClock.h"
#include "support/PumpMainThread.h"
#include "support/RealTransferEngine.h"
#include "support/SyncWorld.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
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
    // Appended piece by piece: GCC 12 at -O3 warns falsely on "t" + ... chains.
    for (const auto& [prefix, number] : {std::pair{"t", leaf / 400}, std::pair{"/m", leaf / 20 % 20},
                                         std::pair{"/l", leaf % 20}, std::pair{"/f", i}}) {
      file.path += prefix;
      file.path += std::to_string(number);
    }
    file.path += ".dat";
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

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
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

  double syncDown(const std::vector<TreeFile>& tree, benchmark::State& state) {
    for (std::size_t i = 0; i < tree.size(); ++i) putServerFile("down/" + tree[i].path, contentOf(tree[i], i));
    linkFolder("down", "Down");
    return timedFirstSync(tree.size(), state);
  }

  double syncUp(const std::vector<TreeFile>& tree, benchmark::State& state) {
    addServerFolder("up");
    for (std::size_t i = 0; i < tree.size(); ++i) writeLocal("Up/" + tree[i].path, contentOf(tree[i], i));
    linkFolder("up", "Up");
    return timedFirstSync(tree.size(), state);
  }

  // The tree on both sides, linked and synced, then `seconds` of the
  // session with nothing changing; answers the process's CPU seconds over
  // that time.
  double idle(const std::vector<TreeFile>& tree, int seconds, benchmark::State& state) {
    for (std::size_t i = 0; i < tree.size(); ++i) {
      const std::string bytes = contentOf(tree[i], i);
      putServerFile("idle/" + tree[i].path, bytes);
      writeLocal("Idle/" + tree[i].path, bytes);
    }
    linkFolder("idle", "Idle");
    if (timedFirstSync(tree.size(), state) < 0) return -1;
    const double before = cpuSeconds();
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < until) runSession(std::chrono::seconds(1));
    return cpuSeconds() - before;
  }

  // Rows of files in sync (status 3), counted in the store.
  std::size_t syncedFiles() {
    const auto m = manager();
    std::size_t synced = 0;
    if (!m) return synced;
    m->syncdb().inDatabase([&](nb::FMDatabase& db) {
      const auto set = db.executeQuery("select count(*) from SYNC where dir=0 and status=3");
      if (set && set->next()) synced = static_cast<std::size_t>(set->longForColumnIndex(0));
      if (set) set->close();
    });
    return synced;
  }

  void stop() {
    center().exit();
    center().joinCoordinator();
    engine_.reset();
    realTime_.reset();
    TearDown();
  }

 private:
  // What the session's other threads do meanwhile for `span`: the counts
  // refreshed (the progress thread, once a second) and the main thread's
  // jobs run (the download sources call back there).
  void runSession(std::chrono::milliseconds span) {
    engine_->network().refreshCounts();
    nb::test::pumpMainThreadUntil([] { return false; }, span);
  }

  bool finished(std::size_t files) {
    auto& store = nb::TransPortDB::shareTransPortDB();
    return store.GetDownloadCountAll() == 0 && store.GetUploadCount() == 0 &&
           engine_->network().GetTransCount() == 0 && syncedFiles() == files;
  }

  // Wall seconds until every file is in sync; -1 when it did not end.
  double timedFirstSync(std::size_t files, benchmark::State& state) {
    app().setLoginFinish(true);
    nb::UserData::shareUserData().setBTransStart(true);
    const long before = currentRssKiB();
    const std::size_t pausesBefore = scanPauses();
    // The engines run on the real clock, so their own pacing (coordinator
    // passes, dispatch passes, retry waits) costs real time as it would for
    // a user.
    realTime_ = std::make_unique<nb::test::ScopedClockOverride>(nb::platform::Clock::system());
    const auto began = Clock::now();
    engine_ = std::make_unique<nb::test::RealTransferEngine>(nb::Network::shareNetwork());
    // The session's coordinator on its own thread, as at sign-in.
    center().setinit(nb::UserData::shareUserData().getMessageDb(), /*coordinatorThread=*/true);
    const auto limit = began + std::chrono::hours(1);
    bool done = false;
    while (!(done = finished(files)) && Clock::now() < limit) {
      runSession(std::chrono::milliseconds(100));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    const double pauses = static_cast<double>(scanPauses() - pausesBefore);
    state.counters["rss_before_MiB"] = static_cast<double>(before) / 1024.0;
    state.counters["scan_pauses"] = pauses;
    state.counters["pacing_s"] = pauses * 0.01;
    if (!done) {
      state.SkipWithError("the first sync did not end within an hour");
      return -1;
    }
    return seconds;
  }

  std::unique_ptr<nb::test::ScopedClockOverride> realTime_;
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

// What the program sets up at launch that the transfers use: the
// allocator's few pools and the application identity its requests carry. The log keeps only what would
// stop a sync: the bench does not register the LAN service, and each
// download says so.
void launchLikeTheProgram() {
  nb::platform::limitMemoryArenas();
  nb::platform::logger()->set_level(spdlog::level::critical);
  nb::http::ASIHTTPRequestDefaults::registerApplicationIdentity({"nubren", "1.0", "1.0"});
}

// One first sync of the tree, down into an empty linked folder or up from
// a local folder into an empty library folder.
void firstSync(benchmark::State& state, bool down) {
  launchLikeTheProgram();
  const auto tree = makeTree(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    ScaleWorld world;
    world.start();
    const double seconds = down ? world.syncDown(tree, state) : world.syncUp(tree, state);
    if (seconds > 0) report(state, seconds, tree.size(), world.syncedFiles());
    world.stop();
  }
}

void BM_FirstSyncDown(benchmark::State& state) { firstSync(state, true); }
void BM_FirstSyncUp(benchmark::State& state) { firstSync(state, false); }

void BM_IdleCost(benchmark::State& state) {
  launchLikeTheProgram();
  const auto tree = makeTree(static_cast<std::size_t>(state.range(0)));
  constexpr int kSeconds = 60;
  for (auto _ : state) {
    ScaleWorld world;
    world.start();
    const double cpu = world.idle(tree, kSeconds, state);
    state.SetIterationTime(kSeconds);
    state.counters["files"] = static_cast<double>(tree.size());
    state.counters["idle_cpu_s"] = cpu;
    state.counters["idle_cpu_pct"] = 100.0 * cpu / kSeconds;
    state.counters["peak_rss_MiB"] = static_cast<double>(peakRssKiB()) / 1024.0;
    world.stop();
  }
}

}  // namespace

BENCHMARK(BM_FirstSyncDown)->Arg(2000)->Arg(10000)->Arg(46810)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_FirstSyncUp)->Arg(2000)->Arg(10000)->Arg(46810)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_IdleCost)->Arg(2000)->Arg(100000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK_MAIN();
