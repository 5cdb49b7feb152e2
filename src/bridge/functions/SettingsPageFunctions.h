#pragma once
// The page functions of the settings page: the client's switches and
// transfer limits, the language, the global hot key, the ignore list and
// the office types guarded against edit conflicts, and the pages' own
// local storage.

namespace nb::bridge {

void registerSettingsPageFunctions();

}  // namespace nb::bridge
