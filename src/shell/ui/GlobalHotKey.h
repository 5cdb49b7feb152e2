#pragma once
// A key combination that reaches the program whichever window has the
// focus. The desktop implementation grabs it on X11
// (ui/gtk/X11HotKeyGrab.h); where the desktop offers no such grab it
// grabs nothing. Tests use the double of tests/support/FakeUi.h.
//
// Threads: main thread only; the press handler runs there.

#include <string>

namespace nb::ui {

struct HotKeyModifiers {
  bool alt = false;
  bool ctrl = false;
  bool super = false;  // the "command" key
  bool shift = false;
  bool operator==(const HotKeyModifiers&) const = default;
};

class GlobalHotKey {
 public:
  virtual ~GlobalHotKey() = default;
  // Grabs `key` (a key name such as "a" or "F5") with exactly these
  // modifiers, releasing the previous grab. False when nothing could be
  // grabbed (no such desktop facility, unknown key, held by another
  // program).
  virtual bool grab(const std::string& key, HotKeyModifiers modifiers) = 0;
  virtual void release() = 0;
};

}  // namespace nb::ui
