#pragma once
// The page events native code sends, and which windows each one reaches.

#include <optional>
#include <span>
#include <string_view>

namespace nb::bridge {

enum class EventTarget {
  All,           // main, browsers showing a library, sign-in only for "gCheckUpdate"
  Main,          // the main window
  SignIn,        // the sign-in window
  Named,         // by window title ("PostMessage")
  FileWindows,   // folder windows, library windows, or all (by what the sender names)
  Window,        // the one window the sender names
  UpdateWindow,  // the self-update window
};

struct PageEventRoute {
  std::string_view name;
  EventTarget target;
  // To the main window: posted to the main thread, the sender goes on.
  bool posted = false;
};

std::span<const PageEventRoute> pageEventRoutes();
// The route of `name`; nothing for a name that is no page event.
std::optional<PageEventRoute> pageEventRoute(std::string_view name);

}  // namespace nb::bridge
