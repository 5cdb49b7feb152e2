#pragma once
// Page functions that open library files (gOpen) and list the applications
// that can open a file type (gGetOpenWithMenu).

namespace nb::bridge {

void registerOpenPageFunctions();

}  // namespace nb::bridge
