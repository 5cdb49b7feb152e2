#include "platform/Log.h"

#include <cstdlib>
#include <vector>

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/dist_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>

#include "platform/RollingFileSink.h"

namespace nb::platform {

namespace fs = std::filesystem;

namespace {

// Five-character level names, as every log reader of the product expects.
class LevelFlag final : public spdlog::custom_flag_formatter {
 public:
  void format(const spdlog::details::log_msg& msg, const std::tm&,
              spdlog::memory_buf_t& dest) override {
    const char* name = "INFO ";
    switch (msg.level) {
      case spdlog::level::critical:
      case spdlog::level::err: name = "ERROR"; break;
      case spdlog::level::warn: name = "WARN "; break;
      case spdlog::level::info: name = "INFO "; break;
      case spdlog::level::debug: name = "DEBUG"; break;
      case spdlog::level::trace: name = "VBOSE"; break;
      default: break;
    }
    dest.append(name, name + 5);
  }
  std::unique_ptr<custom_flag_formatter> clone() const override {
    return std::make_unique<LevelFlag>();
  }
};

// Sinks added after start-up (files, test readers) hang off this one, whose
// list is guarded, so adding one never races with a thread that logs.
std::shared_ptr<spdlog::sinks::dist_sink_mt> extraSinks() {
  static const auto instance = std::make_shared<spdlog::sinks::dist_sink_mt>();
  return instance;
}

std::shared_ptr<spdlog::logger> makeConsoleLogger(const std::string& name,
                                                  bool withExtraSinks) {
  auto console = std::make_shared<spdlog::sinks::stderr_color_sink_mt>();
  console->set_formatter(makeLineFormatter());
  std::vector<spdlog::sink_ptr> sinks{console};
  if (withExtraSinks) sinks.push_back(extraSinks());
  auto log = std::make_shared<spdlog::logger>(name, sinks.begin(), sinks.end());
  log->set_level(spdlog::level::trace);
  log->flush_on(spdlog::level::warn);
  return log;
}

}  // namespace

std::unique_ptr<spdlog::formatter> makeLineFormatter() {
  auto formatter = std::make_unique<spdlog::pattern_formatter>();
  formatter->add_flag<LevelFlag>('*');
  formatter->set_pattern("%C-%m-%d %H:%M:%S:%e %* T:%t  %! line:%# %v");
  return formatter;
}

std::shared_ptr<spdlog::logger> logger() {
  static const auto instance = makeConsoleLogger("nubren", true);
  return instance;
}

std::shared_ptr<spdlog::logger> sqliteLogger() {
  static const auto instance = makeConsoleLogger("sqlite", false);
  return instance;
}

fs::path defaultLogFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
    return fs::path(state) / "nubren" / "log";
  }
  const char* home = std::getenv("HOME");
  return fs::path(home != nullptr ? home : "/tmp") / ".local" / "state" / "nubren" / "log";
}

bool startFileLogging(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) return false;
  fs::permissions(folder, fs::perms::owner_all, ec);
  auto sink = std::make_shared<RollingFileSink>(folder, "nubren");
  if (sink->currentFile().empty()) return false;
  addLogSink(sink);
  return true;
}

void addLogSink(spdlog::sink_ptr sink) {
  sink->set_formatter(makeLineFormatter());
  extraSinks()->add_sink(std::move(sink));
}

void removeLogSink(const spdlog::sink_ptr& sink) { extraSinks()->remove_sink(sink); }

}  // namespace nb::platform
