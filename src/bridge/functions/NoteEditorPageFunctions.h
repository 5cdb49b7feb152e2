#pragma once
// Page functions of the note editor: gEditorSave (queued), gEditorChange
// and gEditorExit.

#include "bridge/dispatch/PageCall.h"

namespace nb::bridge {

void registerNoteEditorPageFunctions();

// The main-thread entry of a queued gEditorSave: a close that comes after
// it waits for the save.
void noteSaveQueued(const PageCall& call);

}  // namespace nb::bridge
