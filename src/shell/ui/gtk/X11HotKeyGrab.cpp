#include "shell/ui/gtk/X11HotKeyGrab.h"

// Before the X11 headers, whose macros (Status, None) would clash.
#include "platform/Log.h"

#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <X11/Xlib.h>

namespace nb::ui {

namespace {

// Lock keys that must not change whether the combination matches.
constexpr unsigned kIgnored[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};

Display* x11Display() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) return nullptr;
  return gdk_x11_display_get_xdisplay(display);
}

GdkFilterReturn hotKeyFilter(GdkXEvent* xevent, GdkEvent*, gpointer self) {
  return static_cast<X11HotKeyGrab*>(self)->handleX11Event(xevent) ? GDK_FILTER_REMOVE
                                                                   : GDK_FILTER_CONTINUE;
}

}  // namespace

bool X11HotKeyGrab::available() { return x11Display() != nullptr; }

X11HotKeyGrab::X11HotKeyGrab(std::function<void()> pressed) : pressed_(std::move(pressed)) {}

X11HotKeyGrab::~X11HotKeyGrab() {
  release();
  if (filtering_) gdk_window_remove_filter(nullptr, hotKeyFilter, this);
}

bool X11HotKeyGrab::grab(const std::string& key, HotKeyModifiers modifiers) {
  release();
  Display* display = x11Display();
  if (!display) return false;
  const KeySym sym = XStringToKeysym(key.c_str());
  const unsigned keycode = sym == NoSymbol ? 0 : XKeysymToKeycode(display, sym);
  if (keycode == 0) {
    NBLOG_WARN("the hot key {} is no key of this keyboard", key);
    return false;
  }
  unsigned mask = 0;
  if (modifiers.alt) mask |= Mod1Mask;
  if (modifiers.ctrl) mask |= ControlMask;
  if (modifiers.super) mask |= Mod4Mask;
  if (modifiers.shift) mask |= ShiftMask;

  GdkDisplay* gdkDisplay = gdk_display_get_default();
  gdk_x11_display_error_trap_push(gdkDisplay);
  const Window root = DefaultRootWindow(display);
  for (unsigned extra : kIgnored) {
    XGrabKey(display, static_cast<int>(keycode), mask | extra, root, False, GrabModeAsync,
             GrabModeAsync);
  }
  XSync(display, False);
  if (gdk_x11_display_error_trap_pop(gdkDisplay) != 0) {
    NBLOG_WARN("the hot key is held by another program");
    gdk_x11_display_error_trap_push(gdkDisplay);
    for (unsigned extra : kIgnored) XUngrabKey(display, static_cast<int>(keycode), mask | extra, root);
    gdk_x11_display_error_trap_pop_ignored(gdkDisplay);
    return false;
  }
  keycode_ = keycode;
  modifiers_ = mask;
  if (!filtering_) {
    gdk_window_add_filter(nullptr, hotKeyFilter, this);
    filtering_ = true;
  }
  return true;
}

void X11HotKeyGrab::release() {
  Display* display = x11Display();
  if (keycode_ == 0 || !display) return;
  GdkDisplay* gdkDisplay = gdk_display_get_default();
  gdk_x11_display_error_trap_push(gdkDisplay);
  for (unsigned extra : kIgnored) {
    XUngrabKey(display, static_cast<int>(keycode_), modifiers_ | extra, DefaultRootWindow(display));
  }
  gdk_x11_display_error_trap_pop_ignored(gdkDisplay);
  keycode_ = 0;
}

bool X11HotKeyGrab::handleX11Event(const void* xevent) {
  const auto* event = static_cast<const XEvent*>(xevent);
  if (event->type != KeyPress || keycode_ == 0) return false;
  const unsigned state = event->xkey.state & ~(LockMask | Mod2Mask);
  if (event->xkey.keycode != keycode_ || state != modifiers_) return false;
  if (pressed_) pressed_();
  return true;
}

}  // namespace nb::ui
