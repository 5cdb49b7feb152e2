#pragma once
// The levelled logger. Every line reads
//   "yy-MM-dd HH:mm:ss:SSS LEVEL T:thread  function line:N message"
// with the levels "ERROR", "WARN ", "INFO ", "DEBUG" and "VBOSE". Lines go to
// the console and, once startFileLogging() ran, to rolling files.
//
// Messages use fmt's "{}" placeholders. Never pass passwords, tokens or keys.

#include <filesystem>
#include <memory>
#include <string>

#include <spdlog/spdlog.h>

namespace nb::platform {

// The process-wide logger. Safe from any thread; made at first use with a
// console sink only.
std::shared_ptr<spdlog::logger> logger();

// The SQLite layer's own console logger ("sqlite"): its diagnostics do not go
// into the rolling files.
std::shared_ptr<spdlog::logger> sqliteLogger();

// Adds the rolling-file output in `folder` (created with mode 0700 when
// missing). Answers false when the folder cannot be made.
bool startFileLogging(const std::filesystem::path& folder);

// Default log folder: $XDG_STATE_HOME/nubren/log, else ~/.local/state/nubren/log.
std::filesystem::path defaultLogFolder();

// Extra outputs, mainly for tests that read what was logged.
void addLogSink(spdlog::sink_ptr sink);
void removeLogSink(const spdlog::sink_ptr& sink);

// The line format, shared by every sink of ours.
std::unique_ptr<spdlog::formatter> makeLineFormatter();

}  // namespace nb::platform

#define NB_LOG_AT(level, ...) \
  SPDLOG_LOGGER_CALL(::nb::platform::logger(), level, __VA_ARGS__)
#define NBLOG_ERROR(...) NB_LOG_AT(spdlog::level::err, __VA_ARGS__)
#define NBLOG_WARN(...) NB_LOG_AT(spdlog::level::warn, __VA_ARGS__)
#define NBLOG_INFO(...) NB_LOG_AT(spdlog::level::info, __VA_ARGS__)
#define NBLOG_DEBUG(...) NB_LOG_AT(spdlog::level::debug, __VA_ARGS__)
#define NBLOG_VERBOSE(...) NB_LOG_AT(spdlog::level::trace, __VA_ARGS__)
#define NBSQLLOG(...) \
  SPDLOG_LOGGER_CALL(::nb::platform::sqliteLogger(), spdlog::level::info, __VA_ARGS__)
