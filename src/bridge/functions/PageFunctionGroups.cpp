#include "bridge/functions/PageFunctionGroups.h"

namespace nb::bridge {

void registerPageFunctionGroups() {
  // One line per group of page functions, each from its own file.
}

}  // namespace nb::bridge
