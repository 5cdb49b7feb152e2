#pragma once
// The bodies of the page functions, by name. Each group of functions
// registers its bodies at start-up; a function with no body registered
// answers the failure status and logs that it is not built.
//
// Threads: registration and look-up from any thread. A body runs on the
// thread its table entry names (main thread or bridge queue).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/dispatch/PageCall.h"

namespace nb {
class WebWindowController;
}

namespace nb::bridge {

// The answer text; nothing for no answer at all. `window` is the calling
// window's controller.
using PageHandler =
    std::function<std::optional<std::string>(const PageCall& call, WebWindowController& window)>;

// Registers the body of `name`; false (and an error in the log) for a name
// that is no page function. A null handler takes the body back.
bool setPageHandler(std::string_view name, PageHandler handler);

// The body of `name`: the registered one, else the not-built fallback.
PageHandler pageHandler(std::string_view name);

}  // namespace nb::bridge
