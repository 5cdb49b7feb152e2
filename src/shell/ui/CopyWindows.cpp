#include "shell/ui/CopyWindows.h"

#include "shell/ui/Registered.h"

namespace nb::ui {

namespace {

Registered<CopyWindows>& registeredCopyWindows() {
  static Registered<CopyWindows> windows;
  return windows;
}

}  // namespace

void setCopyWindows(std::shared_ptr<CopyWindows> windows) {
  registeredCopyWindows().set(std::move(windows));
}

std::shared_ptr<CopyWindows> currentCopyWindows(const char* caller) {
  return registeredCopyWindows().get(caller, "copy window maker");
}

}  // namespace nb::ui
