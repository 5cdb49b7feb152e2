#pragma once
// Shared bits of the SQLite layer's tests: reading what the "sqlite" logger
// wrote, and small helpers on a scratch database.

#include <memory>
#include <sstream>
#include <string>

#include <spdlog/sinks/ostream_sink.h>

#include "platform/Log.h"

namespace nb::test {

// Collects the "sqlite" logger's lines while alive. Install before any
// thread of the test logs.
class SqlLogCapture {
 public:
  SqlLogCapture() : sink_(std::make_shared<spdlog::sinks::ostream_sink_mt>(out_)) {
    sink_->set_pattern("%v");
    platform::sqliteLogger()->sinks().push_back(sink_);
  }
  ~SqlLogCapture() {
    auto& sinks = platform::sqliteLogger()->sinks();
    std::erase(sinks, std::static_pointer_cast<spdlog::sinks::sink>(sink_));
  }
  SqlLogCapture(const SqlLogCapture&) = delete;
  SqlLogCapture& operator=(const SqlLogCapture&) = delete;

  std::string text() const { return out_.str(); }
  int count(const std::string& needle) const {
    const std::string all = text();
    int n = 0;
    for (size_t at = all.find(needle); at != std::string::npos; at = all.find(needle, at + 1)) ++n;
    return n;
  }

 private:
  std::ostringstream out_;
  std::shared_ptr<spdlog::sinks::ostream_sink_mt> sink_;
};

}  // namespace nb::test
