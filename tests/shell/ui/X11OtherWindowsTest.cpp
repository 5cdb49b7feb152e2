// "Hide others" on X11: the window manager is asked to iconify the windows
// of other processes in its client list, never ours.

// Before the X11 headers, whose macros would clash with the test framework.
#include <gtest/gtest.h>

#include <unistd.h>

#include <vector>

#include "shell/ui/gtk/X11OtherWindows.h"
#include "support/GtkUiFixture.h"

#include <gdk/gdkx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace nb::test {
namespace {

class X11OtherWindowsTest : public GtkUiTest {
 protected:
  void SetUp() override {
    GtkUiTest::SetUp();
    if (IsSkipped()) return;
    if (!GDK_IS_X11_DISPLAY(gdk_display_get_default())) GTEST_SKIP() << "not an X11 display";
    // The test plays the window manager on a connection of its own: it
    // publishes the client list and watches the requests sent to the root.
    wm_ = XOpenDisplay(gdk_display_get_name(gdk_display_get_default()));
    ASSERT_NE(wm_, nullptr);
    root_ = DefaultRootWindow(wm_);
    XSelectInput(wm_, root_, SubstructureNotifyMask | SubstructureRedirectMask);
    other_ = window(1);  // another process's
    ours_ = window(static_cast<unsigned long>(getpid()));
    const Window list[] = {other_, ours_};
    XChangeProperty(wm_, root_, XInternAtom(wm_, "_NET_CLIENT_LIST", False), XA_WINDOW, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(list), 2);
    XSync(wm_, False);
  }
  void TearDown() override {
    if (wm_) {
      XDeleteProperty(wm_, root_, XInternAtom(wm_, "_NET_CLIENT_LIST", False));
      XDestroyWindow(wm_, other_);
      XDestroyWindow(wm_, ours_);
      XCloseDisplay(wm_);
    }
  }
  Window window(unsigned long pid) {
    const Window w = XCreateSimpleWindow(wm_, root_, 0, 0, 10, 10, 0, 0, 0);
    XChangeProperty(wm_, w, XInternAtom(wm_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    return w;
  }
  // The windows the window manager was asked to iconify. Once the
  // client's requests made a round trip the server has queued every event
  // they caused for this connection.
  std::vector<Window> iconifyRequests() {
    XSync(gdk_x11_display_get_xdisplay(gdk_display_get_default()), False);
    XSync(wm_, False);
    const Atom changeState = XInternAtom(wm_, "WM_CHANGE_STATE", False);
    std::vector<Window> windows;
    while (XPending(wm_) > 0) {
      XEvent event;
      XNextEvent(wm_, &event);
      if (event.type == ClientMessage && event.xclient.message_type == changeState &&
          event.xclient.data.l[0] == IconicState) {
        windows.push_back(event.xclient.window);
      }
    }
    return windows;
  }

  Display* wm_ = nullptr;
  Window root_ = 0;
  Window other_ = 0;
  Window ours_ = 0;
};

TEST_F(X11OtherWindowsTest, OnlyOtherProcessesWindowsAreIconified) {
  EXPECT_EQ(ui::minimizeOtherApplications(), 1);
  EXPECT_EQ(iconifyRequests(), (std::vector<Window>{other_}));
}

}  // namespace
}  // namespace nb::test
