#pragma once
// The page functions of the file browser's operations on library items:
// create, add, move, copy, rename, delete, restore, revert, refresh, lock,
// save-as, favourites, properties and enterprise templates.

namespace nb::bridge {

void registerFileOperationPageFunctions();

}  // namespace nb::bridge
