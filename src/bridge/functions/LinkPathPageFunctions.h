#pragma once
// The bodies of the page functions that link a library folder to a local
// folder and move the local side of a link. Each answers the page's status
// JSON (or "{}" when the user left a sheet).

#include <string>

#include "bridge/dispatch/PageCall.h"

namespace nb {
class WebWindowController;
}

namespace nb::bridge {

std::string gSetLinkPath(const PageCall& call);
// Sheets are shown on `window` and waited for: call from the bridge queue.
std::string gMoveLinkPath(const PageCall& call, WebWindowController& window);

// Whether the local folder is, holds or lies inside the configuration
// folder, symbolic links, "." and ".." resolved on both sides.
bool touchesConfigFolder(const std::string& folder);

}  // namespace nb::bridge
