// Streamed file SHA-1 against OpenSSL's own SHA-1 over the same bytes in
// memory. Writes a 1 GiB file under the temporary folder, reads it once to
// warm the page cache, and removes it at the end, so the figures compare
// hashing plus read() calls with hashing alone.
//
//   bench_FileSha1Bench [--benchmark_repetitions=3]

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include <openssl/evp.h>

#include "foundation/text/StringHelpers.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kFileSize = size_t{1} << 30;

std::string& content() {
  static std::string bytes;
  return bytes;
}

fs::path& filePath() {
  static fs::path path;
  return path;
}

void setRate(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kFileSize));
  state.counters["MB/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(kFileSize) / 1e6,
      benchmark::Counter::kIsRate);
}

// OpenSSL SHA-1 over the in-memory copy, fed in pieces of range(0) bytes.
void BM_OpenSslSha1Memory(benchmark::State& state) {
  const auto piece = static_cast<size_t>(state.range(0));
  const std::string& bytes = content();
  for (auto _ : state) {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, EVP_sha1(), nullptr);
    for (size_t off = 0; off < bytes.size(); off += piece) {
      EVP_DigestUpdate(ctx, bytes.data() + off, std::min(piece, bytes.size() - off));
    }
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_DigestFinal_ex(ctx, md, &len);
    EVP_MD_CTX_free(ctx);
    benchmark::DoNotOptimize(md);
  }
  setRate(state);
}

// The file helper reading chunks of range(0) bytes; 0 is its default.
void BM_FileSha1(benchmark::State& state) {
  const auto readSize = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    auto hash = nb::FileMD5HashCreateWithPath(filePath().string(), readSize);
    if (!hash) {
      state.SkipWithError("hash failed");
      break;
    }
    benchmark::DoNotOptimize(hash);
  }
  setRate(state);
}

BENCHMARK(BM_OpenSslSha1Memory)->Arg(4096)->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FileSha1)->Arg(4096)->Arg(64 << 10)->Arg(256 << 10)->Arg(1 << 20)->Arg(0)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

bool prepareFile() {
  std::mt19937_64 rng(42);
  std::string& bytes = content();
  bytes.resize(kFileSize);
  for (size_t off = 0; off < bytes.size(); off += sizeof(uint64_t)) {
    const uint64_t v = rng();
    std::memcpy(bytes.data() + off, &v, sizeof v);
  }
  filePath() = fs::temp_directory_path() / ("nb-filesha1-bench-" + std::to_string(getpid()));
  std::ofstream out(filePath(), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  // Warm the page cache so every run measures the same thing.
  const auto hash = nb::FileMD5HashCreateWithPath(filePath().string());
  return out.good() && hash == nb::sha1HexDigest(bytes);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const bool ready = prepareFile();
  if (ready) {
    benchmark::RunSpecifiedBenchmarks();
  } else {
    std::fprintf(stderr, "could not prepare %s\n", filePath().c_str());
  }
  std::error_code ec;
  fs::remove(filePath(), ec);
  benchmark::Shutdown();
  return ready ? 0 : 1;
}
