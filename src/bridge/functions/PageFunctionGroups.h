#pragma once
// Start-up registers every group of page-function bodies with one call, so
// a group that is built but never registered cannot go unnoticed: each group
// adds its own register call to the body of this function.

namespace nb::bridge {

// Registers the bodies of every built group of page functions. Call once at
// start-up, before the first window loads a page; calling again re-registers.
void registerPageFunctionGroups();

}  // namespace nb::bridge
