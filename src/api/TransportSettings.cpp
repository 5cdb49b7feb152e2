#include "api/TransportSettings.h"

#include <mutex>

namespace nb {

namespace {

struct Installed {
  std::mutex lock;
  TransportSettingsSource source;
};

Installed& installed() {
  static Installed instance;
  return instance;
}

}  // namespace

void setTransportSettingsSource(TransportSettingsSource source) {
  auto& slot = installed();
  std::lock_guard guard(slot.lock);
  slot.source = std::move(source);
}

TransportSettings currentTransportSettings() {
  TransportSettingsSource source;
  {
    auto& slot = installed();
    std::lock_guard guard(slot.lock);
    source = slot.source;
  }
  // Called outside the lock: the source may itself take locks of its own.
  return source ? source() : TransportSettings{};
}

}  // namespace nb
