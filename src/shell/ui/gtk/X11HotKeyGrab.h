#pragma once
// A global hot key on X11: the key is grabbed on the root window, so its
// presses come to us whichever window has the focus (and no longer reach
// other programs), with Caps Lock and Num Lock in any state. Elsewhere
// (Wayland) nothing is grabbed and grab() answers false.
//
// Threads: main thread only.

#include <functional>
#include <string>

namespace nb::ui {

struct HotKeyModifiers {
  bool alt = false;
  bool ctrl = false;
  bool super = false;  // the "command" key
  bool shift = false;
  bool operator==(const HotKeyModifiers&) const = default;
};

class X11HotKeyGrab {
 public:
  // `pressed` runs on each press of the grabbed combination.
  explicit X11HotKeyGrab(std::function<void()> pressed);
  ~X11HotKeyGrab();
  X11HotKeyGrab(const X11HotKeyGrab&) = delete;
  X11HotKeyGrab& operator=(const X11HotKeyGrab&) = delete;

  // Grabs `key` (a key name such as "a" or "F5") with exactly these
  // modifiers, releasing the previous grab. False when there is no X11
  // display, the key is unknown, or another program holds the combination.
  bool grab(const std::string& key, HotKeyModifiers modifiers);
  void release();

  // For the display's event filter: true when `xevent` (an XEvent) is a
  // press of the grabbed combination, which then has run `pressed`.
  bool handleX11Event(const void* xevent);

 private:

  std::function<void()> pressed_;
  unsigned keycode_ = 0;   // 0: nothing grabbed
  unsigned modifiers_ = 0; // X11 modifier mask of the grab
  bool filtering_ = false;
};

}  // namespace nb::ui
