// Downloads 1 GiB from the loopback fake storage server through a whole
// download task (ranged requests from one or two addresses at once, writes
// into the temporary file on the main thread, the SHA-1 check at the end),
// and the same URL with `curl -o` into a file in the same run, for
// comparison. Both report bytes per second (MB/s in the console output).

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "http/shared/ASIHTTPRequestDefaults.h"
#include "stores/transfer/TransPortDB.h"
#include "support/FakeStorageDownloads.h"
#include "support/PumpMainThread.h"
#include "transfer/download/DownloadTask.h"

namespace {

namespace fs = std::filesystem;
using nb::test::FakeStorageDownloads;

constexpr std::uint64_t kBytes = 1ull << 30;

struct World {
  fs::path folder;
  FakeStorageDownloads server;
  std::string hash;
  nb::TransPortDB store;

  World() {
    nb::http::ASIHTTPRequestDefaults::registerApplicationIdentity({"nubren-bench", "1.0", "1"});
    folder = fs::temp_directory_path() / ("nb-download-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::string bytes(kBytes, '\0');
    std::uint32_t x = 12345;
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
      x = x * 1664525u + 1013904223u;
      std::memcpy(&bytes[i], &x, 4);
    }
    hash = server.serve(std::move(bytes));
    store.setPath((folder / "transfers.db").string());
  }
  ~World() { fs::remove_all(folder); }
};

World& world() {
  static World* const instance = new World();
  return *instance;
}

void BM_DownloadTask(benchmark::State& state) {
  World& w = world();
  w.server.setAddressesPerAnswer(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    nb::DownloadServices services;
    services.store = &w.store;
    services.transCache = [&w] { return (w.folder / "transcache").string(); };
    services.userId = [] { return std::int64_t{1}; };
    services.getUrls = [&w](std::int64_t, const std::string& filehash, const std::string&,
                            std::int64_t) {
      nb::RetGetDownload ret;
      ret.setNStatusCode(200);
      ret.urls = w.server.freshUrls(filehash);
      return ret;
    };
    services.isLinked = [] { return true; };
    nb::TransTaskItem item;
    item.nIndex = 1;
    item.strFilehash = w.hash;
    item.ullFilesize = kBytes;
    auto task = nb::DownloadTask::make(item, std::move(services));
    std::atomic<bool> done{false};
    std::thread body([&] {
      task->run();
      done = true;
    });
    nb::test::pumpMainThreadUntil([&] { return done.load(); }, std::chrono::minutes(10));
    body.join();
    nb::test::pumpMainThread();
    if (task->item().nStatus != nb::kTransFinished) state.SkipWithError("download failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void BM_CurlCommandLine(benchmark::State& state) {
  World& w = world();
  const std::string url = w.server.freshUrls(w.hash).at(0);
  const std::string target = (w.folder / "curl.bin").string();
  const std::string command = "curl -s -o '" + target + "' '" + url + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("curl failed");
  }
  fs::remove(target);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

BENCHMARK(BM_DownloadTask)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_CurlCommandLine)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
