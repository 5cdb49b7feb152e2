// The sync store's two bulk paths: 100,000 file rows added through the
// upsert inside one transaction (as a folder scan does), and the move of a
// 50,000-row subtree in a store of 100,000 rows, and a small subtree read.

#include <stdlib.h>

#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "stores/syncdb/Syncdb.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 100'000;
constexpr int kFolders = 100;

class Scratch {
 public:
  Scratch() {
    std::string templ = (fs::temp_directory_path() / "nbbench-XXXXXX").string();
    dir_ = mkdtemp(templ.data()) != nullptr ? templ : fs::temp_directory_path().string();
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string file(int n) const { return fmt::format("{}/s{}.db", dir_, n); }

 private:
  std::string dir_;
};

// Half the rows lie below "big", the other half below "other"; each half is
// spread over kFolders folders. Folder rows are not counted in kRows.
void fill(nb::Syncdb& db) {
  nb::Syncdb::Transaction transaction(db);
  nb::SyncFileItem item;
  item.nStatus = 3;
  item.strFileHash = std::string(40, 'a');
  for (const char* top : {"big", "other"}) {
    item.strWebPath = top;
    item.bDir = true;
    item.nUpID = 0;
    const int64_t topId = db.add_new_file(item);
    for (int f = 0; f < kFolders; ++f) {
      item.strWebPath = fmt::format("{}/folder {}", top, f);
      item.bDir = true;
      item.nUpID = topId;
      const int64_t folderId = db.add_new_file(item);
      item.bDir = false;
      item.nUpID = folderId;
      for (int i = 0; i < kRows / 2 / kFolders; ++i) {
        item.strWebPath = fmt::format("{}/folder {}/file {}.txt", top, f, i);
        item.ullFileSize = static_cast<uint64_t>(i) * 1024;
        db.add_new_file(item);
      }
    }
  }
}

void BM_InsertFileRows(benchmark::State& state) {
  Scratch scratch;
  int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto db = nb::Syncdb::initpath(scratch.file(run++));
    state.ResumeTiming();
    fill(*db);
    state.PauseTiming();
    db.reset();
    state.ResumeTiming();
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows) * state.iterations(),
                                                benchmark::Counter::kIsRate);
}

void BM_MoveSubtree(benchmark::State& state) {
  Scratch scratch;
  int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto db = nb::Syncdb::initpath(scratch.file(run++));
    fill(*db);
    state.ResumeTiming();
    if (!db->move("big", "moved/big", 0)) state.SkipWithError("move failed");
    state.PauseTiming();
    db.reset();
    state.ResumeTiming();
  }
}

// A subtree read on one folder of 500 rows in a store of 100,000.
void BM_SubtreeCount(benchmark::State& state) {
  Scratch scratch;
  auto db = nb::Syncdb::initpath(scratch.file(0));
  fill(*db);
  for (auto _ : state) benchmark::DoNotOptimize(db->getFileAllCount("big/folder 7"));
}

BENCHMARK(BM_InsertFileRows)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MoveSubtree)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SubtreeCount)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
