// The content cache's cipher paths on a 1 GiB file: writing an entry
// (copyEncrypt), reading it back with its SHA-1 check (copyDecrypt), next to
// a plain file copy of the same file. The cache itself refuses files of
// 100 MiB and more; the size here shows the streaming rate.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include <benchmark/benchmark.h>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "stores/cache/SyncCache.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFileSize = std::size_t{1} << 30;

class CacheFiles {
 public:
  CacheFiles() {
    std::string templ = (fs::temp_directory_path() / "nbcachebench-XXXXXX").string();
    dir_ = mkdtemp(templ.data()) != nullptr ? templ : fs::temp_directory_path().string();
    user_ = std::make_unique<nb::UserData>(nb::UserData::Options{dir_, "bench", {}});
    catalogue_.setPath(dir_ + "/vemountex3.db");
    cache = std::make_unique<nb::SyncCache>(*user_, catalogue_);
    cache->setPath(dir_ + "/cache");
    // Incompressible content: one random MiB repeated.
    std::mt19937 random(1);
    std::string chunk(1 << 20, '\0');
    for (auto& c : chunk) c = static_cast<char>(random());
    std::ofstream out(source(), std::ios::binary);
    for (std::size_t n = 0; n < kFileSize / chunk.size(); ++n) out << chunk;
    out.close();
    hash = nb::Util::getfilehash(source()).value_or("");
    entry = dir_ + "/cache/" + hash.substr(0, 2) + "/" + hash;
    nb::Util::createfolder(dir_ + "/cache/" + hash.substr(0, 2));
    cache->copyEncrypt(source(), entry);
  }
  ~CacheFiles() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string source() const { return dir_ + "/source.bin"; }
  std::string target() const { return dir_ + "/target.bin"; }

  std::unique_ptr<nb::SyncCache> cache;
  std::string hash;
  std::string entry;

 private:
  std::string dir_;
  std::unique_ptr<nb::UserData> user_;
  nb::Mountsdb catalogue_;
};

CacheFiles& files() {
  static CacheFiles made;
  return made;
}

void BM_CopyEncrypt(benchmark::State& state) {
  auto& f = files();
  for (auto _ : state) benchmark::DoNotOptimize(f.cache->copyEncrypt(f.source(), f.target()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

void BM_CopyDecrypt(benchmark::State& state) {
  auto& f = files();
  for (auto _ : state) {
    if (!f.cache->copyDecrypt(f.entry, f.target())) state.SkipWithError("read-back failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

void BM_PlainCopy(benchmark::State& state) {
  auto& f = files();
  for (auto _ : state) benchmark::DoNotOptimize(nb::Util::copyfile(f.source(), f.target()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

BENCHMARK(BM_CopyEncrypt)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CopyDecrypt)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
