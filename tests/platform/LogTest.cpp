#include <regex>
#include <sstream>

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include "platform/Log.h"
#include "platform/RollingFileSink.h"
#include "support/TempHome.h"

namespace nb::platform {
namespace {

class LogTest : public test::TempHome {};

TEST_F(LogTest, LineCarriesTimeLevelThreadFunctionAndLine) {
  std::ostringstream out;
  auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(out);
  addLogSink(sink);
  NBLOG_WARN("answer={}", 42);
  NBLOG_VERBOSE("quiet");
  removeLogSink(sink);

  const std::regex line(
      R"(\d\d-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} WARN  T:\d+  TestBody line:\d+ answer=42\n)"
      R"(\d\d-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} VBOSE T:\d+  TestBody line:\d+ quiet\n)");
  EXPECT_TRUE(std::regex_match(out.str(), line)) << out.str();
}

TEST_F(LogTest, RollsBySizeAndKeepsTheNewestFiles) {
  const auto folder = root() / "log";
  std::filesystem::create_directories(folder);
  auto sink = std::make_shared<RollingFileSink>(
      folder, "t", RollingRules{.maxFileSize = 100, .maxFileAge = std::chrono::hours(1), .maxFiles = 3});
  spdlog::logger log("roll", sink);
  for (int i = 0; i < 40; ++i) log.info("a line long enough to roll the file quickly {}", i);
  log.flush();

  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    ++files;
    EXPECT_EQ(entry.path().extension(), ".log");
  }
  EXPECT_EQ(files, 3);
}

TEST_F(LogTest, StartFileLoggingWritesIntoTheFolder) {
  const auto folder = defaultLogFolder();
  EXPECT_EQ(folder, home() / ".local/state/nubren/log");
}

}  // namespace
}  // namespace nb::platform
