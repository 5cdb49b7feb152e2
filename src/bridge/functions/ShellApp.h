#pragma once
// The shell's application state for page functions that need more than
// the AppState seam offers (update state, quit flags).

#include <memory>
#include <string_view>

namespace nb {
class AppDelegate;
}

namespace nb::bridge {

// The registered state when it is the shell's AppDelegate; null, with an
// error naming the page function `fn`, otherwise.
std::shared_ptr<AppDelegate> shellApp(std::string_view fn);

}  // namespace nb::bridge
