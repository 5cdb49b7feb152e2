#pragma once
// "Hide others" on X11: asks the window manager to iconify every window of
// its client list (EWMH _NET_CLIENT_LIST) that another process owns
// (_NET_WM_PID differs from ours). Wayland offers no such thing.
//
// Threads: main thread only.

namespace nb::ui {

// How many windows were asked to iconify; 0 where the display is no X11
// one or the window manager publishes no client list.
int minimizeOtherApplications();

}  // namespace nb::ui
