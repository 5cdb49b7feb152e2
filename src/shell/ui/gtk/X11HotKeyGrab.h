#pragma once
// A global hot key on X11: the key is grabbed on the root window, so its
// presses come to us whichever window has the focus (and no longer reach
// other programs), with Caps Lock and Num Lock in any state. Elsewhere
// (Wayland) nothing is grabbed and grab() answers false.
//
// Threads: main thread only.

#include <functional>
#include <string>

#include "shell/ui/GlobalHotKey.h"

namespace nb::ui {

class X11HotKeyGrab final : public GlobalHotKey {
 public:
  // `pressed` runs on each press of the grabbed combination.
  // Whether the display is an X11 one, where keys can be grabbed.
  static bool available();

  explicit X11HotKeyGrab(std::function<void()> pressed);
  ~X11HotKeyGrab() override;
  X11HotKeyGrab(const X11HotKeyGrab&) = delete;
  X11HotKeyGrab& operator=(const X11HotKeyGrab&) = delete;

  bool grab(const std::string& key, HotKeyModifiers modifiers) override;
  void release() override;

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
