#pragma once
// The page functions through which pages manage windows (open, size, focus,
// full screen, close, messages to other windows) and the application (the
// desktop's browser and settings, About, quit and relaunch, the report, the
// self-update and the store bundle). All run on the main thread.

#include <functional>
#include <string>

namespace nb::bridge {

// The window group (WindowPageFunctions.cpp).
void registerWindowPageFunctions();
// The application group (ApplicationPageFunctions.cpp).
void registerApplicationPageFunctions();

// Where gOpenUrl hands the addresses it lets through: the desktop's default
// handler for the scheme, unless replaced (null restores it). Main thread.
using UriOpener = std::function<bool(const std::string& uri)>;
void setUriOpener(UriOpener opener);

// Both groups.
inline void registerWindowAndApplicationPageFunctions() {
  registerWindowPageFunctions();
  registerApplicationPageFunctions();
}

}  // namespace nb::bridge
