// Uploads 1 GiB through a storage-server session (10 MiB pieces, each a
// synchronous PUT with its range and CRC-32) to the loopback fake storage
// server, and the same file with `curl -T` to a PUT endpoint of the same
// server in the same run, for comparison. Both report bytes per second.
// The server keeps only a running SHA-1 of what arrives and checks it at the
// finish, so a wrong byte fails the run.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "api/session/UserData.h"
#include "foundation/util/UtilFiles.h"
#include "support/FakeDrive.h"
#include "support/FakeService.h"
#include "support/FakeStorageServer.h"
#include "transfer/engine/TransferTask.h"
#include "transfer/upload/UploadPeer.h"

namespace {

constexpr std::uint64_t kBytes = 1ull << 30;
constexpr std::int64_t kMountId = 7;

class BenchTask final : public nb::TransferTask {
 public:
  using TransferTask::TransferTask;
  void run() override {}
};

struct World {
  World() {
    char templ[] = "/tmp/nbuploadbench.XXXXXX";
    root = mkdtemp(templ);
    setenv("HOME", root.c_str(), 1);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME",
                             "XDG_CACHE_HOME"}) {
      setenv(name, (root / name).c_str(), 1);
    }
    drive = std::make_unique<nb::test::FakeDrive>(api);
    storage = &drive->addStorageServer();
    storage->setDigestOnly(true);
    storage->setPieceLength(0);
    storage->service().setRecordBodies(false);
    storage->service().on("PUT", "/sink",
                          [](const nb::test::FakeCall&) { return nb::test::FakeReply::text("ok"); },
                          nb::test::kOpenEndpoint);
    const auto& user = drive->addUser(nb::test::FakeUser{.memberId = 5});
    nb::UserData::shareUserData().setUserToken(drive->signIn(user));
    drive->addLibrary(nb::test::FakeLibrary{.mountId = kMountId});

    file = root / "big.bin";
    std::ofstream out(file, std::ios::binary);
    std::mt19937_64 random(1);
    std::string block(1 << 20, '\0');
    for (char& byte : block) byte = static_cast<char>(random() & 0xFF);
    for (std::uint64_t written = 0; written < kBytes; written += block.size()) {
      block[0] = static_cast<char>(written >> 20);  // no two blocks alike
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    out.close();
    filehash = nb::Util::getfilehash(file.string()).value_or("");
  }
  ~World() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }

  std::filesystem::path root;
  nb::test::FakeService api;
  std::unique_ptr<nb::test::FakeDrive> drive;
  nb::test::FakeStorageServer* storage = nullptr;
  std::filesystem::path file;
  std::string filehash;
};

World& world() {
  static World* const instance = new World();
  return *instance;
}

void BM_UploadSession(benchmark::State& state) {
  World& w = world();
  int round = 0;
  for (auto _ : state) {
    const std::string pathhash = "bench" + std::to_string(++round);
    w.drive->addPending(nb::test::FakePendingUpload{pathhash, kMountId, "big.bin", w.filehash,
                                                    kBytes});
    nb::TransTaskItem item;
    item.nIndex = round;
    item.nMountid = kMountId;
    item.strWebpath = "big.bin";
    item.strTemppath = w.file.string();
    item.ullFilesize = kBytes;
    item.strFilehash = w.filehash;
    item.strPathhash = pathhash;
    item.strStoragePoint = w.storage->storagePoint();
    BenchTask task(item);
    nb::UploadEnvironment environment;
    environment.addSpeed = [](std::uint64_t) {};
    environment.sendCallback = [](const nb::TransTaskItem&) {};
    environment.syncManager = [](std::int64_t) { return nullptr; };
    nb::UploadPeer peer(task, environment.resolved());
    peer.SetUrl(w.storage->baseUrl());
    peer.Run();
    if (!peer.bFinish()) state.SkipWithError("upload failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void BM_CurlUploadFile(benchmark::State& state) {
  World& w = world();
  const std::string command =
      "curl -s -o /dev/null -T " + w.file.string() + " " + w.storage->baseUrl() + "/sink";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("curl failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

BENCHMARK(BM_UploadSession)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_CurlUploadFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
