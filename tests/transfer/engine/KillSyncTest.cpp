// Crash safety: the sync and transfer engines run in a child process (this
// test program again, running the disabled child case) against the fake
// service held here in the parent, and are killed with SIGKILL at random
// moments while uploads and downloads are under way. After every kill each
// store must pass its integrity check and no file may stand half-written
// under its final name; a restarted child must take up unfinished uploads
// where the server says they stopped; and after the last restart both
// sides must agree.
//   NB_KILL_COUNT  kills (default 3)      NB_KILL_SEED  random seed (default 1)
//   NB_KILL_KEEP   keep the child's folder (stores, files, logs) also on success
#include <signal.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"
#include "foundation/text/StringHelpers.h"
#include "stores/cache/SyncCache.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/syncdb/Syncdb.h"
#include "stores/transfer/TransPortDB.h"
#include "support/FakeAppState.h"
#include "support/FakeDriveFixture.h"
#include "support/FakeNetwork.h"
#include "support/ManualClock.h"
#include "support/RealTransferEngine.h"
#include "sync/centre/MountCompare.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/local/Directoryhandler.h"
#include "sync/local/ScanPause.h"

extern char** environ;

namespace nb::test {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kMount = 7;

std::string env(const char* name, std::string fallback = {}) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool inProgress(const fs::path& path) { return path.extension() == ".nbcopy"; }

// --- The child: a signed-in client that syncs until it is killed ------------------

void pointHomeAt(const fs::path& home) {
  const std::pair<const char*, fs::path> vars[] = {
      {"HOME", home},
      {"XDG_CONFIG_HOME", home / ".config"},
      {"XDG_DATA_HOME", home / ".local/share"},
      {"XDG_STATE_HOME", home / ".local/state"},
      {"XDG_CACHE_HOME", home / ".cache"},
  };
  for (const auto& [name, path] : vars) {
    fs::create_directories(path);
    setenv(name, path.c_str(), 1);
  }
}

TEST(DISABLED_KillChild, SyncsUntilKilled) {
  const fs::path root = env("NB_KILL_ROOT");
  ASSERT_FALSE(root.empty()) << "run by KillSyncTest only";
  pointHomeAt(root / "home");
  ScopedAppState app;
  app->useServerAt(root, env("NB_KILL_API"));
  app->setUseHttps(false);
  // The service's clock and this one tell the same time.
  const auto clock = std::make_shared<ManualClock>(static_cast<uint64_t>(std::time(nullptr)));
  ScopedClockOverride clockOverride(clock);
  ScopedNetwork network;
  ScanPause::setSleeper([](std::chrono::milliseconds) {});

  UserData& user = UserData::shareUserData();
  user.setDevicename("test-machine");
  user.setUserID(std::stoi(env("NB_KILL_MEMBER")));
  user.setUserToken(env("NB_KILL_TOKEN"));
  fs::create_directories(user.configPath());
  Mountsdb::shareMountsdb().setPath(user.getmountdb());
  TransPortDB::shareTransPortDB().setPath(user.gettransdb());
  SyncCache::shareSyncCache().setPath(user.getcache());
  MountItem item;
  item.nMountID = kMount;
  item.nOrgID = 3;
  item.strOrgName = "Team";
  item.strPropertys = "{}";
  item.strInfo = "{\"mount_id\":" + std::to_string(kMount) + "}";
  Mountsdb::shareMountsdb().addMount(item);
  app->setFavoritesPath((root / "home/Favorites").string());

  const fs::path docs = root / "home/Sync/Docs";
  if (!fs::exists(root / "linked")) {
    auto store = Syncdb::initpath(SyncManager::getsyncdbpath(kMount));
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->add_link(LinkFolderNode{"docs", docs.string(), true, 2}));
    store->close();
    std::ofstream(root / "linked") << "1";
  }
  SyncCenter& center = SyncCenter::shareSyncCenter();
  center.setinit(user.getMessageDb(), /*coordinatorThread=*/false);
  ASSERT_TRUE(center.coordinatorPass());
  center.taskqueue().waitUntilAllOperationsAreFinished();
  const auto m = center.GetSyncManager(kMount);
  ASSERT_TRUE(m);
  for (const auto& handler : center.handlerlist()) ASSERT_TRUE(handler->waitUntilWatching());
  app->setLoginFinish(true);
  user.setBTransStart(true);
  RealTransferEngine engine(Network::shareNetwork());
  for (int pass = 0;; ++pass) {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    for (const auto& handler : center.handlerlist()) handler->waitUntilIdle();
    m->startCanCompare();
    if (!m->bInWork.exchange(true)) {
      center.taskqueue().addOperation(std::make_shared<MountCompare>(m, center));
    }
    center.taskqueue().waitUntilAllOperationsAreFinished();
    engine.tryDrain(*clock, 2);
  }
}

// --- The parent ----------------------------------------------------------------------

class KillSyncTest : public FakeDriveFixture {
 protected:
  void SetUp() override {
    FakeDriveFixture::SetUp();
    root_ = makeTempDir("nbkill");
    fs::create_directories(docs());
    random_.seed(std::stoull(env("NB_KILL_SEED", "1")));
    // Small pieces and slow answers keep transfers under way for a while.
    storage_->setPieceLength(64 * 1024);
    storage_->service().fail("/upload_part", FakeFault::slow(std::chrono::milliseconds(400)));
    storage_->service().fail("/download", FakeFault::slow(std::chrono::milliseconds(300)));
  }
  void TearDown() override {
    stopChild();
    std::error_code ec;
    if (!HasFailure() && env("NB_KILL_KEEP").empty()) fs::remove_all(root_, ec);
    FakeDriveFixture::TearDown();
  }

  fs::path docs() const { return root_ / "home/Sync/Docs"; }

  std::string bytes(size_t size) {
    std::string out = "content " + std::to_string(known_.size()) + "\n";
    while (out.size() < size) out.push_back(static_cast<char>('a' + random_() % 26));
    return out;
  }
  void serverFile(const std::string& path, size_t size) {
    const std::string content = bytes(size);
    known_.insert(sha1HexDigest(content));
    drive_->putFile(kMount, "docs/" + path, content);
  }
  void localFile(const std::string& path, size_t size) {
    const std::string content = bytes(size);
    known_.insert(sha1HexDigest(content));
    fs::create_directories((docs() / path).parent_path());
    std::ofstream(docs() / path, std::ios::binary) << content;
  }

  void startChild() {
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    std::vector<std::string> args{self, "--gtest_also_run_disabled_tests",
                                  "--gtest_filter=DISABLED_KillChild.SyncsUntilKilled"};
    std::vector<std::string> vars{"NB_KILL_ROOT=" + root_.string(), "NB_KILL_API=" + api_.host(),
                                  "NB_KILL_TOKEN=" + token_,
                                  "NB_KILL_MEMBER=" + std::to_string(user_.memberId)};
    for (char** each = environ; *each != nullptr; ++each) vars.emplace_back(*each);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& var : vars) envp.push_back(var.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = (root_ / ("child-" + std::to_string(runs_++) + ".log")).string();
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    ASSERT_EQ(posix_spawn(&child_, self.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  // SIGKILL; false when the child had already ended on its own.
  bool stopChild() {
    if (child_ <= 0) return true;
    int status = 0;
    const bool running = waitpid(child_, &status, WNOHANG) == 0;
    if (running) {
      kill(child_, SIGKILL);
      waitpid(child_, &status, 0);
    }
    child_ = -1;
    return running;
  }

  std::vector<fs::path> storeFiles() const {
    std::vector<fs::path> stores;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(root_ / "home", ignored)) {
      if (entry.is_regular_file(ignored) &&
          readFile(entry.path()).rfind("SQLite format 3", 0) == 0) {
        stores.push_back(entry.path());
      }
    }
    return stores;
  }
  // A kill before the first child has even opened its stores proves nothing
  // about them; on a loaded machine a sanitized child can take seconds to
  // get there, so the random kill delay counts from that point.
  void waitForStores() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (storeFiles().empty() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  // Every store opens and passes its own integrity check.
  void expectStoresIntact() {
    size_t stores = 0;
    for (const auto& path : storeFiles()) {
      ++stores;
      FMDatabase db(path.string());
      ASSERT_TRUE(db.open()) << path;
      const auto set = db.executeQuery("PRAGMA integrity_check");
      ASSERT_TRUE(set && set->next()) << path;
      EXPECT_EQ(set->stringForColumnIndex(0).value_or(""), "ok") << path;
    }
    EXPECT_GT(stores, 0U);
  }
  // A file under its final name is whole: its content is one that was
  // written; copies in progress keep their own name until done.
  void expectNoHalfFiles() {
    for (const auto& entry : fs::recursive_directory_iterator(docs())) {
      if (!entry.is_regular_file() || inProgress(entry.path())) continue;
      EXPECT_TRUE(known_.contains(sha1HexDigest(readFile(entry.path()))))
          << entry.path() << " is not a whole file";
    }
  }

  std::map<std::string, std::string> localFiles() {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(docs())) {
      if (entry.is_regular_file()) {
        files[fs::relative(entry.path(), docs()).string()] = sha1HexDigest(readFile(entry.path()));
      }
    }
    return files;
  }
  std::map<std::string, std::string> serverFiles() {
    std::map<std::string, std::string> files;
    std::vector<std::string> pending{"docs"};
    while (!pending.empty()) {
      const std::string folder = pending.back();
      pending.pop_back();
      for (const auto& entry : tree().list(folder).value_or(std::vector<FakeEntry>{})) {
        if (entry.dir) {
          pending.push_back(entry.fullpath);
        } else {
          files[entry.fullpath.substr(5)] = entry.filehash;
        }
      }
    }
    return files;
  }

  // Uploads cut at a kill with bytes on the server go on from there once
  // a later run takes them up again; answers how many did so.
  size_t checkResumes() {
    size_t seenResuming = 0;
    const auto starts = storage_->partStarts();
    for (auto it = pending_.begin(); it != pending_.end();) {
      bool seen = false;
      for (size_t i = it->second.second; i < starts.size(); ++i) {
        if (starts[i].first != it->first) continue;
        EXPECT_GE(starts[i].second, it->second.first) << "upload " << it->first << " started over";
        seenResuming += starts[i].second >= it->second.first ? 1 : 0;
        seen = true;
        break;
      }
      it = seen ? pending_.erase(it) : std::next(it);
    }
    return seenResuming;
  }

  fs::path root_;
  pid_t child_ = -1;
  int runs_ = 0;
  std::mt19937_64 random_;
  std::set<std::string> known_;
  // Uploads cut with bytes on the server: bytes held, and how many parts the
  // server had seen at the kill.
  std::map<std::string, std::pair<uint64_t, size_t>> pending_;
};

TEST_F(KillSyncTest, KilledMidTransferTheClientRestartsFromItsStoresAndConverges) {
  const int kills = std::stoi(env("NB_KILL_COUNT", "3"));
  serverFile("s1.bin", 4 * 1024 * 1024);
  serverFile("f/s2.bin", 700 * 1024);
  localFile("l1.bin", 6 * 1024 * 1024);
  localFile("g/l2.bin", 3 * 1024 * 1024);
  size_t resumed = 0;
  size_t interrupted = 0;
  for (int k = 0; k < kills; ++k) {
    // More work for every run, so that each kill finds some under way.
    localFile("l" + std::to_string(k) + ".bin", 2 * 1024 * 1024 + random_() % (2 * 1024 * 1024));
    if (k % 2 == 1) serverFile("s" + std::to_string(k) + ".bin", 1024 * 1024 + random_() % 1000000);
    startChild();
    waitForStores();
    std::this_thread::sleep_for(std::chrono::milliseconds(500 + random_() % 3500));
    const auto held = storage_->unfinished();
    std::cerr << "kill " << k + 1 << ": " << held.size() << " uploads open, "
              << storage_->partStarts().size() << " parts so far, "
              << storage_->service().callsTo("/download").size() << " downloads asked\n";
    ASSERT_TRUE(stopChild()) << "the child ended by itself; see " << root_;
    expectStoresIntact();
    expectNoHalfFiles();
    if (HasFailure()) FAIL() << "after kill " << k + 1 << "; child logs in " << root_;
    // What the server held of an upload is not sent again after a restart.
    for (const auto& [key, bytes] : held) {
      if (bytes == 0) continue;
      interrupted += pending_.contains(key) ? 0 : 1;
      pending_[key] = {bytes, storage_->partStarts().size()};
    }
    resumed += checkResumes();
  }

  // The last run goes on until both sides agree.
  storage_->service().clearFaults();
  startChild();
  bool agreed = false;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!agreed && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto local = localFiles();
    agreed = local == serverFiles() && local.size() >= 4;
  }
  ASSERT_TRUE(stopChild()) << "the child ended by itself; see " << root_;
  EXPECT_TRUE(agreed) << "the sides did not agree; child logs in " << root_;
  expectStoresIntact();
  expectNoHalfFiles();
  resumed += checkResumes();
  for (const auto& [path, hash] : serverFiles()) {
    EXPECT_TRUE(known_.contains(hash)) << path;
  }
  size_t rangedDownloads = 0;
  for (const auto& call : storage_->service().callsTo("/download")) {
    const auto range = call.header("Range").value_or("");
    rangedDownloads += range.starts_with("bytes=") && !range.starts_with("bytes=0-") ? 1 : 0;
  }
  std::cerr << kills << " kills: " << interrupted << " uploads cut with bytes held, " << resumed
            << " seen resuming where the server stopped, " << rangedDownloads
            << " download requests starting past the first byte\n";
}

}  // namespace
}  // namespace nb::test
