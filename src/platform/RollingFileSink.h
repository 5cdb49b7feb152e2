#pragma once
// A file sink that starts a new file when the current one reaches a size or an
// age, whichever comes first, and keeps only the newest few files.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include <spdlog/sinks/base_sink.h>

namespace nb::platform {

struct RollingRules {
  std::uintmax_t maxFileSize = 20u * 1024 * 1024;
  std::chrono::seconds maxFileAge{86400};
  std::size_t maxFiles = 7;
};

class RollingFileSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  RollingFileSink(std::filesystem::path folder, std::string prefix, RollingRules rules = {});
  ~RollingFileSink() override;
  RollingFileSink(const RollingFileSink&) = delete;
  RollingFileSink& operator=(const RollingFileSink&) = delete;

  // The file being written, empty when none could be opened.
  std::filesystem::path currentFile();

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override;
  void flush_() override;

 private:
  void openNewFile();
  void pruneOldFiles();

  const std::filesystem::path folder_;
  const std::string prefix_;
  const RollingRules rules_;
  std::FILE* file_ = nullptr;
  std::filesystem::path path_;
  std::uintmax_t written_ = 0;
  std::chrono::system_clock::time_point openedAt_;
  unsigned sequence_ = 0;
};

}  // namespace nb::platform
