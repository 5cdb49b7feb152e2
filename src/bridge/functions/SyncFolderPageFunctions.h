#pragma once
// The page functions of linked folders: link, check, move and unlink of
// local folders, cache-mode folders, the link list, the default local
// folder and the emptiness test, re-sync and compare requests, library
// grants and withdrawals, the visit time and the shortcut list.

namespace nb::bridge {

void registerSyncFolderPageFunctions();

}  // namespace nb::bridge
