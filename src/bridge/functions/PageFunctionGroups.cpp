#include "bridge/functions/PageFunctionGroups.h"

#include "bridge/functions/FileOperationPageFunctions.h"
#include "bridge/functions/ClipboardPageFunctions.h"
#include "bridge/functions/FolderAndTransferPageFunctions.h"
#include "bridge/functions/LockScreenPageFunctions.h"
#include "bridge/functions/NoteEditorPageFunctions.h"
#include "bridge/functions/OpenPageFunctions.h"
#include "bridge/functions/PickerPageFunctions.h"
#include "bridge/functions/PushPageFunctions.h"
#include "bridge/functions/SaveToLocalPageFunctions.h"
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
  registerFileOperationPageFunctions();
  registerOpenPageFunctions();
  registerSaveToLocalPageFunctions();
  registerPickerPageFunctions();
  registerNoteEditorPageFunctions();
  registerClipboardPageFunctions();
}

}  // namespace nb::bridge
