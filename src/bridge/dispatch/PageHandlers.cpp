#include "bridge/dispatch/PageHandlers.h"

#include <map>
#include <mutex>

#include "bridge/script/PageFunctions.h"
#include "platform/Log.h"

namespace nb::bridge {

PageHandler pendingPageHandler(std::string_view name);

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, PageHandler, std::less<>> handlers;
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

bool setPageHandler(std::string_view name, PageHandler handler) {
  if (!findPageFunction(name)) {
    NBLOG_ERROR("no page function is named {}", name);
    return false;
  }
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (handler) {
    r.handlers.insert_or_assign(std::string(name), std::move(handler));
  } else {
    r.handlers.erase(std::string(name));
  }
  return true;
}

PageHandler pageHandler(std::string_view name) {
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (auto it = r.handlers.find(name); it != r.handlers.end()) return it->second;
  }
  return pendingPageHandler(name);
}

}  // namespace nb::bridge
