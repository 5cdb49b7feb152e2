#include "shell/ui/gtk/X11OtherWindows.h"

// Before the X11 headers, whose macros (Status, None) would clash.
#include "platform/Log.h"

#include <unistd.h>

#include <vector>

#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace nb::ui {

namespace {

// A 32-bit list property of `window` (longs as Xlib hands them out).
std::vector<unsigned long> listProperty(Display* display, Window window, const char* name,
                                        Atom type) {
  Atom actualType = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned long> values;
  if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 4096, False, type,
                         &actualType, &format, &count, &after, &data) == Success &&
      data && format == 32) {
    const auto* items = reinterpret_cast<const unsigned long*>(data);
    values.assign(items, items + count);
  }
  if (data) XFree(data);
  return values;
}

}  // namespace

int minimizeOtherApplications() {
  GdkDisplay* gdkDisplay = gdk_display_get_default();
  if (!gdkDisplay || !GDK_IS_X11_DISPLAY(gdkDisplay)) {
    NBLOG_INFO("hiding other programs' windows is left to this desktop");
    return 0;
  }
  Display* display = gdk_x11_display_get_xdisplay(gdkDisplay);
  const Window root = DefaultRootWindow(display);
  const unsigned long self = static_cast<unsigned long>(getpid());
  int asked = 0;
  // A window may go while we walk the list.
  gdk_x11_display_error_trap_push(gdkDisplay);
  for (unsigned long window : listProperty(display, root, "_NET_CLIENT_LIST", XA_WINDOW)) {
    const auto pid = listProperty(display, window, "_NET_WM_PID", XA_CARDINAL);
    if (!pid.empty() && pid.front() == self) continue;
    if (XIconifyWindow(display, window, DefaultScreen(display))) ++asked;
  }
  XFlush(display);
  gdk_x11_display_error_trap_pop_ignored(gdkDisplay);
  return asked;
}

}  // namespace nb::ui
