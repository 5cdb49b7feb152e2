#include "platform/RollingFileSink.h"

#include <algorithm>
#include <ctime>
#include <vector>

namespace nb::platform {

namespace fs = std::filesystem;

RollingFileSink::RollingFileSink(fs::path folder, std::string prefix, RollingRules rules)
    : folder_(std::move(folder)), prefix_(std::move(prefix)), rules_(rules) {
  openNewFile();
}

RollingFileSink::~RollingFileSink() {
  if (file_ != nullptr) std::fclose(file_);
}

fs::path RollingFileSink::currentFile() {
  std::lock_guard lock(mutex_);
  return file_ != nullptr ? path_ : fs::path{};
}

void RollingFileSink::sink_it_(const spdlog::details::log_msg& msg) {
  const auto now = std::chrono::system_clock::now();
  if (file_ == nullptr || written_ >= rules_.maxFileSize || now - openedAt_ >= rules_.maxFileAge) {
    openNewFile();
  }
  if (file_ == nullptr) return;
  spdlog::memory_buf_t line;
  formatter_->format(msg, line);
  written_ += std::fwrite(line.data(), 1, line.size(), file_);
}

void RollingFileSink::flush_() {
  if (file_ != nullptr) std::fflush(file_);
}

void RollingFileSink::openNewFile() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  openedAt_ = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(openedAt_);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &tm);
  // The sequence keeps names apart when two files are started within a second.
  path_ = folder_ / (prefix_ + " " + stamp + "-" + std::to_string(sequence_++) + ".log");
  file_ = std::fopen(path_.c_str(), "ae");
  written_ = 0;
  pruneOldFiles();
}

void RollingFileSink::pruneOldFiles() {
  std::error_code ec;
  std::vector<std::pair<fs::file_time_type, fs::path>> logs;
  for (const auto& entry : fs::directory_iterator(folder_, ec)) {
    const auto name = entry.path().filename().string();
    if (name.rfind(prefix_ + " ", 0) != 0 || entry.path().extension() != ".log") continue;
    logs.emplace_back(entry.last_write_time(ec), entry.path());
  }
  if (logs.size() <= rules_.maxFiles) return;
  std::sort(logs.begin(), logs.end());
  for (std::size_t i = 0; i + rules_.maxFiles < logs.size(); ++i) {
    if (logs[i].second != path_) fs::remove(logs[i].second, ec);
  }
}

}  // namespace nb::platform
