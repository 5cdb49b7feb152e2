#include "api/session/OpenDirectoryhandler.h"

#include <mutex>

#include "platform/Log.h"

namespace nb {
namespace {

class IdleWatcher final : public OpenDirectoryhandler {
 public:
  using OpenDirectoryhandler::OpenDirectoryhandler;
  void startMonitoring() override {
    NBLOG_ERROR("no folder watcher registered: edits in {} go unnoticed", path());
  }
};

std::mutex& factoryMutex() {
  static std::mutex mutex;
  return mutex;
}

OpenDirectoryhandlerFactory& registeredFactory() {
  static OpenDirectoryhandlerFactory factory;
  return factory;
}

}  // namespace

void setOpenDirectoryhandlerFactory(OpenDirectoryhandlerFactory factory) {
  std::lock_guard lock(factoryMutex());
  registeredFactory() = std::move(factory);
}

std::unique_ptr<OpenDirectoryhandler> makeOpenDirectoryhandler(const std::string& path) {
  OpenDirectoryhandlerFactory factory;
  {
    std::lock_guard lock(factoryMutex());
    factory = registeredFactory();
  }
  std::unique_ptr<OpenDirectoryhandler> watcher = factory ? factory(path) : nullptr;
  if (!watcher) {
    watcher = std::make_unique<IdleWatcher>(path);
  }
  return watcher;
}

}  // namespace nb
