#pragma once
// The page functions that read a library's files: folder listings by name
// and by time, folder totals, one file's details, library details, the
// side tree, and the path-existence and content-cache checks.

namespace nb::bridge {

void registerFileListPageFunctions();

}  // namespace nb::bridge
