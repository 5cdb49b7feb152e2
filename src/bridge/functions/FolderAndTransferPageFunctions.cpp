#include "bridge/functions/FolderAndTransferPageFunctions.h"

#include "bridge/functions/FileListPageFunctions.h"
#include "bridge/functions/SyncFolderPageFunctions.h"
#include "bridge/functions/TransferPageFunctions.h"

namespace nb::bridge {

void registerFolderAndTransferPageFunctions() {
  registerTransferPageFunctions();
  registerSyncFolderPageFunctions();
  registerFileListPageFunctions();
}

}  // namespace nb::bridge
