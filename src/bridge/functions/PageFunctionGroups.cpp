#include "bridge/functions/PageFunctionGroups.h"

#include "bridge/functions/ClipboardPageFunctions.h"
#include "bridge/functions/FolderAndTransferPageFunctions.h"
#include "bridge/functions/LockScreenPageFunctions.h"
#include "bridge/functions/PushPageFunctions.h"
#include "bridge/functions/SettingsPageFunctions.h"
#include "bridge/functions/SignInFunctions.h"
#include "bridge/functions/WindowAppPageFunctions.h"

namespace nb::bridge {

void registerPageFunctionGroups() {
  // One line per group of page functions, each from its own file.
  registerFolderAndTransferPageFunctions();
  registerSettingsPageFunctions();
  registerPushPageFunctions();
  registerWindowAndApplicationPageFunctions();
  registerSignInFunctions();
  registerLockScreenPageFunctions();
  registerClipboardPageFunctions();
}

}  // namespace nb::bridge
