#pragma once
// Collects what the process logger writes while it lives, for tests that
// check log lines.

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <spdlog/sinks/ostream_sink.h>

namespace nb::test {

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string text() const;
  std::vector<std::string> lines() const;
  // Lines written at error level.
  std::vector<std::string> errorLines() const;

 private:
  std::ostringstream out_;
  std::shared_ptr<spdlog::sinks::ostream_sink_mt> sink_;
};

}  // namespace nb::test
