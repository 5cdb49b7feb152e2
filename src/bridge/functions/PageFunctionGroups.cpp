#include "bridge/functions/PageFunctionGroups.h"

#include "bridge/functions/FileListPageFunctions.h"
#include "bridge/functions/SyncFolderPageFunctions.h"
#include "bridge/functions/TransferPageFunctions.h"

namespace nb::bridge {

void registerPageFunctionGroups() {
  // One line per group of page functions, each from its own file.
  registerTransferPageFunctions();
  registerSyncFolderPageFunctions();
  registerFileListPageFunctions();
}

}  // namespace nb::bridge
