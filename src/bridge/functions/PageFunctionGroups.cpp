#include "bridge/functions/PageFunctionGroups.h"

#include "bridge/functions/FolderAndTransferPageFunctions.h"
#include "bridge/functions/LockScreenPageFunctions.h"

namespace nb::bridge {

void registerPageFunctionGroups() {
  // One line per group of page functions, each from its own file.
  registerFolderAndTransferPageFunctions();
  registerLockScreenPageFunctions();
}

}  // namespace nb::bridge
