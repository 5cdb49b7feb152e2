#include "shell/windows/AppWindows.h"

#include "shell/ui/Registered.h"

namespace nb {

namespace {

ui::Registered<AppWindows>& slot() {
  static ui::Registered<AppWindows> s;
  return s;
}

}  // namespace

void setAppWindows(std::shared_ptr<AppWindows> windows) { slot().set(std::move(windows)); }

std::shared_ptr<AppWindows> currentAppWindows(const char* caller) {
  return slot().get(caller, "window maker");
}

}  // namespace nb
