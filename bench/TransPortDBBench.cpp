// The transfer store's hot paths on a queue of 20,000 waiting uploads: the
// dispatch thread's next-job query, a page list, and queuing a record again
// (a look-up and an update in one job, committed on its own).

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "foundation/sqlite/FMDatabase.h"
#include "stores/cache/SyncCache.h"
#include "stores/transfer/TransPortDB.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 20'000;

class QueueFile {
 public:
  QueueFile() {
    std::string templ = (fs::temp_directory_path() / "nbbench-XXXXXX").string();
    dir_ = mkdtemp(templ.data()) != nullptr ? templ : fs::temp_directory_path().string();
    // The opening's pass over opened files must not touch the real HOME.
    user_ = std::make_unique<nb::UserData>(nb::UserData::Options{dir_, "bench", {}});
    catalogue_.setPath(dir_ + "/vemountex3.db");
    cache_ = std::make_unique<nb::SyncCache>(*user_, catalogue_);
    store.setSession(*user_, *cache_);
    store.setPath(dir_ + "/vetransex3.db");
    store.inDatabase([](nb::FMDatabase& db) {
      db.beginTransaction();
      for (int i = 0; i < kRows; ++i) {
        db.executeUpdate(
            "insert into Upload(mountid, webpath, fullpath, filehash, filesize, dir, status, "
            "offset, last, actlast, expand, sync, errornum, errormsg, parentpath) "
            "values(?, ?, ?, ?, 4096, 0, 2, 0, 1700000000, ?, ?, 1, 0, '', '/')",
            {i % 7, fmt::format("/folder {}/file{}.txt", i % 97, i),
             fmt::format("/home/u/sync/file{}.txt", i), std::string(40, 'a'), i % 500, i % 4});
      }
      db.commit();
    });
  }
  ~QueueFile() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  nb::TransPortDB store;

 private:
  std::string dir_;
  std::unique_ptr<nb::UserData> user_;
  nb::Mountsdb catalogue_;
  std::unique_ptr<nb::SyncCache> cache_;
};

QueueFile& queueFile() {
  static QueueFile file;
  return file;
}

void BM_GetUploads(benchmark::State& state) {
  auto& store = queueFile().store;
  for (auto _ : state) benchmark::DoNotOptimize(store.Get_Uploads());
}

void BM_GetAllUploadPage(benchmark::State& state) {
  auto& store = queueFile().store;
  for (auto _ : state) benchmark::DoNotOptimize(store.Get_AllUpload(10'000, 50));
}

void BM_AddUploadMerge(benchmark::State& state) {
  auto& store = queueFile().store;
  int i = 0;
  for (auto _ : state) {
    nb::TransportItem item;
    item.nMountid = i % 7;
    item.strWebpath = fmt::format("/folder {}/file{}.txt", i % 97, i);
    item.strFilehash = std::string(40, 'b');
    item.nStatus = nb::kTransWaiting;
    benchmark::DoNotOptimize(store.Add_Upload(item, "/"));
    i = (i + 1) % kRows;
  }
}

BENCHMARK(BM_GetUploads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetAllUploadPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddUploadMerge)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
