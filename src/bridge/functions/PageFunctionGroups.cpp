#include "bridge/functions/PageFunctionGroups.h"

#include "bridge/functions/FolderAndTransferPageFunctions.h"

namespace nb::bridge {

void registerPageFunctionGroups() {
  // One line per group of page functions, each from its own file.
  registerFolderAndTransferPageFunctions();
}

}  // namespace nb::bridge
