#include "shell/windows/WindowRelay.h"

#include "shell/ui/Registered.h"

namespace nb {

namespace {

ui::Registered<WindowRelay>& registeredRelay() {
  static ui::Registered<WindowRelay> relay;
  return relay;
}

}  // namespace

void setWindowRelay(std::shared_ptr<WindowRelay> relay) { registeredRelay().set(std::move(relay)); }

std::shared_ptr<WindowRelay> currentWindowRelay(const char* caller) {
  return registeredRelay().get(caller, "window registry");
}

}  // namespace nb
