#pragma once
// Key presses and releases in any of the program's windows, seen before the
// page gets them: the application's shortcuts, the screenshot hot key
// while one of our windows has the focus, Escape leaving full screen.

#include <functional>
#include <string>

#include "shell/ui/GlobalHotKey.h"

namespace nb::ui {

class WebWindow;

struct KeyEvent {
  bool press = true;      // false: the key was released
  std::string character;  // what the key types without modifiers, lower case; "" for none
  bool escape = false;    // the Escape key
  HotKeyModifiers modifiers;
};

// Runs on the main thread; true keeps the event from the page.
using KeyObserver = std::function<bool(WebWindow& window, const KeyEvent& event)>;

}  // namespace nb::ui
