// 100,000 rows inserted in one transaction: through a store's queue (one
// job, bound parameters, the retrying write of every store) against the
// plain SQLite C API with one prepared statement.

#include <sqlcipher/sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "foundation/sqlite/MySqlite.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 100'000;
constexpr const char* kCreate =
    "create table files(id integer primary key, path text, size integer, hash text)";
constexpr const char* kInsert = "insert into files(id, path, size, hash) values(?, ?, ?, ?)";

std::string rowPath(int i) {
  return fmt::format("/library/folder {}/file{}.txt", i % 97, i);
}

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
  std::string file(int n) const { return fmt::format("{}/b{}.db", dir_, n); }

 private:
  std::string dir_;
};

class BenchStore : public nb::MySqlite {
 public:
  explicit BenchStore(const std::string& path) { init(path, true); }
  void createTable(bool) override {
    inDatabase([](nb::FMDatabase& db) { db.executeUpdate(kCreate); });
  }
};

void BM_StoreQueue(benchmark::State& state) {
  Scratch scratch;
  int run = 0;
  const std::string hash(40, 'a');
  for (auto _ : state) {
    state.PauseTiming();
    BenchStore store(scratch.file(run++));
    state.ResumeTiming();
    store.inDatabase([&](nb::FMDatabase& db) {
      db.beginTransaction();
      for (int i = 0; i < kRows; ++i) {
        db.executeUpdateRetry(kInsert, {i, rowPath(i), int64_t{i} * 1024, hash});
      }
      db.commit();
    });
  }
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(kRows) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_RawSqlite(benchmark::State& state) {
  Scratch scratch;
  int run = 0;
  const std::string hash(40, 'a');
  for (auto _ : state) {
    state.PauseTiming();
    sqlite3* db = nullptr;
    sqlite3_open(scratch.file(run++).c_str(), &db);
    sqlite3_exec(db, kCreate, nullptr, nullptr, nullptr);
    state.ResumeTiming();
    sqlite3_exec(db, "begin exclusive transaction", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, kInsert, -1, &st, nullptr);
    for (int i = 0; i < kRows; ++i) {
      const std::string path = rowPath(i);
      sqlite3_bind_int64(st, 1, i);
      sqlite3_bind_text(st, 2, path.data(), static_cast<int>(path.size()), SQLITE_TRANSIENT);
      sqlite3_bind_int64(st, 3, int64_t{i} * 1024);
      sqlite3_bind_text(st, 4, hash.data(), static_cast<int>(hash.size()), SQLITE_TRANSIENT);
      sqlite3_step(st);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "commit transaction", nullptr, nullptr, nullptr);
    state.PauseTiming();
    sqlite3_close(db);
    state.ResumeTiming();
  }
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(kRows) * state.iterations(), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_StoreQueue)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RawSqlite)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
