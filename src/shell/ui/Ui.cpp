#include "shell/ui/Ui.h"

#include "shell/ui/Registered.h"

namespace nb::ui {

namespace {

Registered<Ui>& registeredUi() {
  static Registered<Ui> ui;
  return ui;
}

}  // namespace

void setUi(std::shared_ptr<Ui> ui) { registeredUi().set(std::move(ui)); }

std::shared_ptr<Ui> currentUi(const char* caller) {
  return registeredUi().get(caller, "user interface");
}

}  // namespace nb::ui
