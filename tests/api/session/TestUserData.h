#pragma once
// A session record for tests: home in the test's folder, a fixed computer
// id, and a watcher of the opened-files folder that never starts.

#include <filesystem>
#include <memory>

#include "api/session/UserData.h"

namespace nb::test {

class IdleWatcher final : public OpenDirectoryhandler {
 public:
  using OpenDirectoryhandler::OpenDirectoryhandler;
  void startMonitoring() override {}
};

inline std::unique_ptr<UserData> makeTestUserData(const std::filesystem::path& home) {
  UserData::Options options;
  options.home = home;
  options.computerid = "computer-1";
  options.watcherFactory = [](const std::string& path) {
    return std::make_unique<IdleWatcher>(path);
  };
  return std::make_unique<UserData>(std::move(options));
}

}  // namespace nb::test
