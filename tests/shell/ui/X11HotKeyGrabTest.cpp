// The hot key's grab on the X11 root window, and which of its events count.

// Before the X11 headers, whose macros would clash with the test framework.
#include <gtest/gtest.h>

#include "shell/ui/gtk/X11HotKeyGrab.h"
#include "support/GtkUiFixture.h"

#include <gdk/gdkx.h>
#include <X11/Xlib.h>

namespace nb::test {
namespace {

class X11HotKeyGrabTest : public GtkUiTest {
 protected:
  void SetUp() override {
    GtkUiTest::SetUp();
    if (IsSkipped()) return;
    GdkDisplay* display = gdk_display_get_default();
    if (!GDK_IS_X11_DISPLAY(display)) GTEST_SKIP() << "not an X11 display";
    xdisplay_ = gdk_x11_display_get_xdisplay(display);
  }
  XEvent press(const char* key, unsigned state) const {
    XEvent event{};
    event.xkey.type = KeyPress;
    event.xkey.display = xdisplay_;
    event.xkey.window = DefaultRootWindow(xdisplay_);
    event.xkey.keycode = XKeysymToKeycode(xdisplay_, XStringToKeysym(key));
    event.xkey.state = state;
    return event;
  }

  Display* xdisplay_ = nullptr;
};

TEST_F(X11HotKeyGrabTest, OnlyTheExactCombinationCountsWhateverTheLockKeys) {
  int pressed = 0;
  ui::X11HotKeyGrab grab([&] { ++pressed; });
  ASSERT_TRUE(grab.grab("a", {.ctrl = true, .shift = true}));
  struct Case {
    const char* key;
    unsigned state;
    bool counts;
  };
  const Case cases[] = {
      {"a", ControlMask | ShiftMask, true},
      {"a", ControlMask | ShiftMask | LockMask | Mod2Mask, true},  // Caps and Num Lock
      {"a", ControlMask | ShiftMask | Mod1Mask, false},
      {"a", ControlMask, false},
      {"b", ControlMask | ShiftMask, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key << " " << std::hex << c.state);
    const XEvent event = press(c.key, c.state);
    const int before = pressed;
    EXPECT_EQ(grab.handleX11Event(&event), c.counts);
    EXPECT_EQ(pressed - before, c.counts ? 1 : 0);
  }

  ASSERT_TRUE(grab.grab("F5", {.super = true}));  // the previous grab goes
  const XEvent old = press("a", ControlMask | ShiftMask);
  EXPECT_FALSE(grab.handleX11Event(&old));
  const XEvent f5 = press("F5", Mod4Mask);
  EXPECT_TRUE(grab.handleX11Event(&f5));
  grab.release();
  EXPECT_FALSE(grab.handleX11Event(&f5));
  EXPECT_FALSE(grab.grab("no-such-key", {.ctrl = true}));
}

}  // namespace
}  // namespace nb::test
