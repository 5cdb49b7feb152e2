#pragma once
// The file browser's functions that run on the main thread: properties,
// member names, favourites and enterprise templates.

namespace nb::bridge {

void registerFileOperationMainFunctions();

}  // namespace nb::bridge
