#pragma once
// A message store in a fresh folder, and the log lines of a test.

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include "platform/Log.h"
#include "stores/messages/MessageDb.h"
#include "support/TempHome.h"

namespace nb::test {

inline constexpr const char* kComputerId = "C02TEST0001";
inline constexpr std::int64_t kUserId = 12;

class MessageDbFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = makeTempDir("messagedb");
    db_ = open();
  }
  void TearDown() override {
    db_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::string path() const { return (dir_ / "vemessage3.db").string(); }
  std::shared_ptr<MessageDb> open(const std::string& computer = kComputerId,
                                  std::int64_t user = kUserId) {
    return MessageDb::initpath(path(), computer, user);
  }
  MessageDb& db() { return *db_; }

  std::filesystem::path dir_;
  std::shared_ptr<MessageDb> db_;
};

// Collects the lines of both loggers, at every level, while alive.
class AllLogCapture {
 public:
  AllLogCapture() : sink_(std::make_shared<spdlog::sinks::ostream_sink_mt>(out_)) {
    sink_->set_pattern("%v");
    for (const auto& logger : {platform::logger(), platform::sqliteLogger()}) {
      levels_.push_back(logger->level());
      logger->set_level(spdlog::level::trace);
      logger->sinks().push_back(sink_);
    }
  }
  ~AllLogCapture() {
    size_t i = 0;
    for (const auto& logger : {platform::logger(), platform::sqliteLogger()}) {
      std::erase(logger->sinks(), std::static_pointer_cast<spdlog::sinks::sink>(sink_));
      logger->set_level(levels_[i++]);
    }
  }
  AllLogCapture(const AllLogCapture&) = delete;
  AllLogCapture& operator=(const AllLogCapture&) = delete;

  std::string text() const { return out_.str(); }

 private:
  std::ostringstream out_;
  std::shared_ptr<spdlog::sinks::ostream_sink_mt> sink_;
  std::vector<spdlog::level::level_enum> levels_;
};

}  // namespace nb::test
