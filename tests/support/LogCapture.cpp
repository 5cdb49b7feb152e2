#include "support/LogCapture.h"

#include "platform/Log.h"

namespace nb::test {

LogCapture::LogCapture() : sink_(std::make_shared<spdlog::sinks::ostream_sink_mt>(out_)) {
  sink_->set_formatter(platform::makeLineFormatter());
  platform::addLogSink(sink_);
}

LogCapture::~LogCapture() { platform::removeLogSink(sink_); }

std::string LogCapture::text() const {
  sink_->flush();
  return out_.str();
}

std::vector<std::string> LogCapture::lines() const {
  std::vector<std::string> result;
  std::istringstream in(text());
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

std::vector<std::string> LogCapture::errorLines() const {
  std::vector<std::string> result;
  for (auto& line : lines()) {
    if (line.find(" ERROR ") != std::string::npos) result.push_back(line);
  }
  return result;
}

}  // namespace nb::test
