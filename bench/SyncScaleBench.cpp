// The first sync of a large library, both ways, through the real sync engine
// and transfer engine against the fake service: 46,810 files in 4,210
// folders (sizes from a fixed seed: most under 16 KiB, a dozen of a few MiB)
// come down into an empty linked folder, and the same tree goes up from a
// local folder into an empty library folder. The argument is the number of
// files (folders scale with it), so smaller trees run while iterating.
//
// The fake service runs in a child process (this program started again
// with --serve-fake) and holds every file's content there; this process is
// the client alone, so its memory and CPU figures are the client's. The two
// talk over a pipe: the child answers its API address and a token, builds
// the server tree on request and counts the files a folder holds.
//
// The timed sync runs as a signed-in session does: the sync centre's
// coordinator on its own thread (its one-second passes and compare cycles,
// the folder watches it sets up), the transfer engine's dispatch loops, and
// the counts refreshed once a second as the progress thread does. It ends
// when every file row is in sync and no transfer is left.
//
// Reported per run: wall time, files/s, the scans' pacing pauses (counted,
// not slept: the world's sleeper skips them; each stands for 0.01 s, given
// as pacing_s), the client's peak resident memory during the sync (the
// high-water mark is reset when the sync starts) and its resident memory
// before it, and the client's CPU seconds during the sync (client_cpu_s, of
// which client_sys_s in the kernel). The "up" run also reports how many
// files the service holds in the end.
//
// BM_IdleCost: a synced library of N files, nothing changing; the client's
// CPU time (user + system) over 60 s of a running session, as a share of
// one core. The first 60 s after the sync are reported apart (settle_*):
// they hold the sync's own echo (the feed's record of what the first sync
// did, applied once), which a session pays once, not every minute.
//
//   bench_SyncScaleBench --benchmark_filter=/46810   (a Release tree gives real figures)

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"
#include "http/shared/ASIHTTPRequestDefaults.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/MemoryArenas.h"
#include "support/FakeAppState.h"
#include "support/FakeDrive.h"
#include "support/FakeNetwork.h"
#include "support/FakeService.h"
#include "support/FakeStorageServer.h"
#include "support/ManualClock.h"
#include "support/PumpMainThread.h"
#include "support/RealTransferEngine.h"
#include "support/SyncWorld.h"
#include "support/TempHome.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/local/ScanPause.h"
#include "transfer/engine/Network.h"

extern char** environ;

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

// The figures of /proc/self/status, in KiB: VmRSS now, VmHWM the peak.
long statusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == field) {
      status >> value;
      return value;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

long currentRssKiB() { return statusKiB("VmRSS:"); }
long peakRssKiB() { return statusKiB("VmHWM:"); }

// Starts the peak over from the present resident size, so that a run's
// peak is its own and not an earlier run's in the same process.
void resetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

double secondsOf(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
}

// The kernel's part of the client's CPU time (sockets, wake-ups, file I/O).
double systemCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return secondsOf(usage.ru_stime);
}

constexpr int64_t kMountId = 7;
const nb::test::FakeUser kUser{.memberId = 5, .name = "tester"};
const nb::test::FakeLibrary kLibrary{.mountId = kMountId, .orgId = 3, .orgName = "Team"};
constexpr const char* kServeFlag = "--serve-fake";
// The pipe ends the child reads its commands from and writes its answers to.
constexpr int kCommandFd = 3;
constexpr int kAnswerFd = 4;

// The child's side: the fake service with the test world's user, library
// and storage server, its changes dated by a fixed clock as the test
// world's are; then one answer line per command line until the pipe closes:
//   put <folder> <files>    the first <files> files of the tree under <folder>
//   folder <path>           an empty folder
//   count <folder>          how many files the folder holds, at any depth
//   signin                  a fresh token of the user
int serveFake() {
  nb::platform::logger()->set_level(spdlog::level::critical);
  FILE* commands = fdopen(kCommandFd, "r");
  FILE* answers = fdopen(kAnswerFd, "w");
  if (commands == nullptr || answers == nullptr) return 2;
  const nb::test::ManualClock clock;
  nb::test::FakeService api;
  nb::test::FakeDrive drive(api, [&clock] { return clock.wallSeconds(); });
  const nb::test::FakeUser user = drive.addUser(kUser);
  nb::test::FakeLibraryTree& tree = drive.addLibrary(kLibrary);
  drive.addStorageServer();
  const nb::test::FakeMember someoneElse{99, "someone else"};
  std::fprintf(answers, "%s %s\n", api.host().c_str(), drive.signIn(user).c_str());
  std::fflush(answers);
  char* line = nullptr;
  std::size_t capacity = 0;
  while (getline(&line, &capacity, commands) > 0) {
    std::istringstream in(line);
    std::string command;
    std::string folder;
    in >> command >> folder;
    std::string answer = "ok";
    if (command == "put") {
      std::size_t files = 0;
      in >> files;
      const auto served = makeTree(files);
      for (std::size_t i = 0; i < served.size(); ++i) {
        drive.putFile(kMountId, folder + "/" + served[i].path, contentOf(served[i], i), someoneElse);
      }
    } else if (command == "folder") {
      if (tree.addFolder(folder, someoneElse) != nb::test::FakeTreeError::None) answer = "refused";
    } else if (command == "count") {
      std::size_t count = 0;
      std::vector<std::string> pending{folder};
      while (!pending.empty()) {
        const std::string current = pending.back();
        pending.pop_back();
        for (const auto& entry : tree.list(current).value_or(std::vector<nb::test::FakeEntry>{})) {
          if (entry.dir) pending.push_back(entry.fullpath);
          else ++count;
        }
      }
      answer = std::to_string(count);
    } else if (command == "signin") {
      answer = drive.signIn(user);
    }
    std::fprintf(answers, "%s\n", answer.c_str());
    std::fflush(answers);
  }
  std::free(line);
  // The storage servers check tokens with the API service: they stop first.
  for (nb::test::FakeStorageServer* storage : drive.storageServers()) storage->service().stop();
  api.stop();
  return 0;
}

// The parent's side: the child started, asked line by line (from any
// thread: a token refresh asks too), and waited for at the end.
class FakeServiceProcess {
 public:
  FakeServiceProcess() {
    int commands[2];
    int answers[2];
    if (pipe2(commands, O_CLOEXEC) != 0 || pipe2(answers, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, commands[0], kCommandFd);
    posix_spawn_file_actions_adddup2(&actions, answers[1], kAnswerFd);
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string flag = kServeFlag;
    char* argv[] = {self.data(), flag.data(), nullptr};
    if (posix_spawn(&pid_, self.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(commands[0]);
    close(answers[1]);
    commands_ = fdopen(commands[1], "w");
    answers_ = fdopen(answers[0], "r");
    std::istringstream first(readLine());
    first >> host_ >> token_;
  }
  ~FakeServiceProcess() {
    if (commands_ != nullptr) std::fclose(commands_);
    if (answers_ != nullptr) std::fclose(answers_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  FakeServiceProcess(const FakeServiceProcess&) = delete;
  FakeServiceProcess& operator=(const FakeServiceProcess&) = delete;

  bool running() const { return !host_.empty() && !token_.empty(); }
  const std::string& host() const { return host_; }
  const std::string& token() const { return token_; }

  // One command, its one-line answer ("" when the child is gone).
  std::string ask(const std::string& command) {
    const std::lock_guard<std::mutex> hold(lock_);
    if (commands_ == nullptr) return {};
    std::fprintf(commands_, "%s\n", command.c_str());
    std::fflush(commands_);
    return readLine();
  }

 private:
  std::string readLine() {
    if (answers_ == nullptr) return {};
    char* line = nullptr;
    std::size_t capacity = 0;
    std::string text;
    const ssize_t length = getline(&line, &capacity, answers_);
    if (length > 0) text.assign(line, static_cast<std::size_t>(line[length - 1] == '\n' ? length - 1 : length));
    std::free(line);
    return text;
  }

  pid_t pid_ = -1;
  FILE* commands_ = nullptr;
  FILE* answers_ = nullptr;
  std::mutex lock_;
  std::string host_;
  std::string token_;
};

// The client of the sync test world, run outside a test against the fake
// service in the child: its checks report to gtest's ad-hoc result, and the
// benchmark reads the outcome itself.
class ScaleWorld : public nb::test::TempHome {
 public:
  void TestBody() override {}

  bool start() {
    if (!service_.running()) return false;
    TempHome::SetUp();
    app_->useServerAt(root(), service_.host());
    app_->setUseHttps(false);
    nb::UserData::shareUserData().setDevicename("test-machine");
    nb::HTTPEngine::setTokenRefresher([this](const std::string&) { return service_.ask("signin"); });
    clockOverride_ = std::make_unique<nb::test::ScopedClockOverride>(clock_);
    network_ = std::make_unique<nb::test::ScopedNetwork>();
    nb::ScanPause::setSleeper([this](std::chrono::milliseconds) { ++scanPauses_; });
    nb::test::openSyncSession(*app_, home(), kUser, service_.token(), {kLibrary});
    return true;
  }

  double syncDown(const std::vector<TreeFile>& tree, benchmark::State& state) {
    if (service_.ask("put down " + std::to_string(tree.size())) != "ok") return -1;
    if (!linkFolder("down", "Down")) return -1;
    return timedFirstSync(tree.size(), state);
  }

  double syncUp(const std::vector<TreeFile>& tree, benchmark::State& state) {
    if (service_.ask("folder up") != "ok") return -1;
    for (std::size_t i = 0; i < tree.size(); ++i) writeLocal("Up/" + tree[i].path, contentOf(tree[i], i));
    if (!linkFolder("up", "Up")) return -1;
    const double seconds = timedFirstSync(tree.size(), state);
    const std::string received = service_.ask("count up");
    state.counters["server_files"] = std::strtod(received.c_str(), nullptr);
    if (seconds > 0 && received != std::to_string(tree.size())) {
      state.SkipWithError("the service does not hold every file");
      return -1;
    }
    return seconds;
  }

  struct IdleCpu {
    double settle = -1;  // the first `seconds` after the sync
    double steady = -1;  // the `seconds` after those
  };

  // The tree on both sides, linked and synced, then twice `seconds` of the
  // session with nothing changing; answers the client's CPU seconds over
  // each span.
  IdleCpu idle(const std::vector<TreeFile>& tree, int seconds, benchmark::State& state) {
    IdleCpu cpu;
    if (service_.ask("put idle " + std::to_string(tree.size())) != "ok") return cpu;
    for (std::size_t i = 0; i < tree.size(); ++i) writeLocal("Idle/" + tree[i].path, contentOf(tree[i], i));
    if (!linkFolder("idle", "Idle")) return cpu;
    if (timedFirstSync(tree.size(), state) < 0) return cpu;
    cpu.settle = sessionCpuOver(std::chrono::seconds(seconds));
    cpu.steady = sessionCpuOver(std::chrono::seconds(seconds));
    return cpu;
  }

  double sessionCpuOver(std::chrono::seconds span) {
    const double before = cpuSeconds();
    const auto until = Clock::now() + span;
    while (Clock::now() < until) runSession(std::chrono::seconds(1));
    return cpuSeconds() - before;
  }

  // Rows of files in sync (status 3), counted in the store.
  std::size_t syncedFiles() {
    const auto m = nb::SyncCenter::shareSyncCenter().GetSyncManager(kMountId);
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
    nb::SyncCenter& center = nb::SyncCenter::shareSyncCenter();
    center.exit();
    center.joinCoordinator();
    engine_.reset();
    realTime_.reset();
    nb::test::closeSyncSession();
    network_.reset();
    nb::ScanPause::setSleeper(nullptr);
    clockOverride_.reset();
    nb::HTTPEngine::setTokenRefresher({});
    TempHome::TearDown();
  }

 private:
  std::filesystem::path localRoot() const { return home() / "Sync"; }

  void writeLocal(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path path = localRoot() / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }

  bool linkFolder(const std::string& webpath, const std::string& localFolder) const {
    return nb::test::linkSyncFolder(webpath, localRoot() / localFolder, /*type=*/2, kMountId);
  }

  // What the session's other threads do meanwhile for `span`: the counts
  // refreshed (the progress thread, once a second) and the main thread's
  // jobs run (the download sources call back there). The recording
  // application state keeps every page event it is sent, where a session's
  // windows keep none: its record is emptied, or a file's event would count
  // as the client's memory.
  void runSession(std::chrono::milliseconds span) {
    engine_->network().refreshCounts();
    nb::test::pumpMainThreadFor(span);
    app_->clear();
  }

  bool finished(std::size_t files) {
    auto& store = nb::TransPortDB::shareTransPortDB();
    return store.GetDownloadCountAll() == 0 && store.GetUploadCount() == 0 &&
           engine_->network().GetTransCount() == 0 && syncedFiles() == files;
  }

  // Wall seconds until every file is in sync; -1 when it did not end.
  double timedFirstSync(std::size_t files, benchmark::State& state) {
    app_->setLoginFinish(true);
    nb::UserData::shareUserData().setBTransStart(true);
    const long before = currentRssKiB();
    resetPeakRss();
    const std::size_t pausesBefore = scanPauses_;
    const double cpuBefore = cpuSeconds();
    const double systemBefore = systemCpuSeconds();
    // The engines run on the real clock, so their own pacing (coordinator
    // passes, dispatch passes, retry waits) costs real time as it would for
    // a user.
    realTime_ = std::make_unique<nb::test::ScopedClockOverride>(nb::platform::Clock::system());
    const auto began = Clock::now();
    engine_ = std::make_unique<nb::test::RealTransferEngine>(nb::Network::shareNetwork());
    // The session's coordinator on its own thread, as at sign-in.
    nb::SyncCenter::shareSyncCenter().setinit(nb::UserData::shareUserData().getMessageDb(),
                                              /*coordinatorThread=*/true);
    const auto limit = began + std::chrono::hours(1);
    bool done = false;
    while (!(done = finished(files)) && Clock::now() < limit) {
      runSession(std::chrono::milliseconds(100));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    const double pauses = static_cast<double>(scanPauses_ - pausesBefore);
    state.counters["rss_before_MiB"] = static_cast<double>(before) / 1024.0;
    state.counters["scan_pauses"] = pauses;
    state.counters["pacing_s"] = pauses * 0.01;
    state.counters["client_cpu_s"] = cpuSeconds() - cpuBefore;
    state.counters["client_sys_s"] = systemCpuSeconds() - systemBefore;
    if (!done) {
      state.SkipWithError("the first sync did not end within an hour");
      return -1;
    }
    return seconds;
  }

  FakeServiceProcess service_;
  const std::shared_ptr<nb::test::ManualClock> clock_ = std::make_shared<nb::test::ManualClock>();
  nb::test::ScopedAppState app_;
  std::unique_ptr<nb::test::ScopedClockOverride> clockOverride_;
  std::unique_ptr<nb::test::ScopedNetwork> network_;
  std::atomic<std::size_t> scanPauses_{0};
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
    if (!world.start()) {
      state.SkipWithError("the fake service did not start");
      break;
    }
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
    if (!world.start()) {
      state.SkipWithError("the fake service did not start");
      break;
    }
    const auto cpu = world.idle(tree, kSeconds, state);
    state.SetIterationTime(kSeconds);
    state.counters["files"] = static_cast<double>(tree.size());
    state.counters["settle_cpu_s"] = cpu.settle;
    state.counters["settle_cpu_pct"] = 100.0 * cpu.settle / kSeconds;
    state.counters["idle_cpu_s"] = cpu.steady;
    state.counters["idle_cpu_pct"] = 100.0 * cpu.steady / kSeconds;
    state.counters["peak_rss_MiB"] = static_cast<double>(peakRssKiB()) / 1024.0;
    world.stop();
  }
}

}  // namespace

BENCHMARK(BM_FirstSyncDown)->Arg(2000)->Arg(10000)->Arg(46810)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_FirstSyncUp)->Arg(2000)->Arg(10000)->Arg(46810)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_IdleCost)->Arg(2000)->Arg(100000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
  // Started again as the fake service: no benchmark runs in this process.
  if (argc == 2 && std::strcmp(argv[1], kServeFlag) == 0) return serveFake();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
