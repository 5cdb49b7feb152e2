#include "shell/windows/WindowDirectory.h"

#include "shell/ui/Registered.h"

namespace nb {

namespace {

ui::Registered<WindowDirectory>& registeredDirectory() {
  static ui::Registered<WindowDirectory> directory;
  return directory;
}

}  // namespace

void setWindowDirectory(std::shared_ptr<WindowDirectory> directory) {
  registeredDirectory().set(std::move(directory));
}

std::shared_ptr<WindowDirectory> currentWindowDirectory(const char* caller) {
  return registeredDirectory().get(caller, "window directory");
}

}  // namespace nb
