#pragma once
// The client's item in the desktop's status area (the system tray): a state
// image, a short text beside it, a menu, and the count badge that docks
// show on the launcher. The desktop implementation is a
// StatusNotifierItem (ui/gtk/IndicatorStatusItem.h); tests use the
// recording double of tests/support/FakeUi.h.
//
// Threads: main thread only. A desktop without a status area shows nothing,
// and nothing fails.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nb::ui {

// One row of a menu; an empty title with no action is a separator.
struct MenuEntry {
  std::string title;
  std::function<void()> activate;

  static MenuEntry separator() { return {}; }
  bool isSeparator() const { return title.empty() && !activate; }
};

class StatusItem {
 public:
  virtual ~StatusItem() = default;
  // Shows the image file (PNG, TIFF, ICNS: whatever the image loaders
  // read); `monochrome` draws it without colour, as the tray's own icons.
  // A missing or unreadable file shows no image.
  virtual void setImage(const std::string& file, bool monochrome) = 0;
  // Shows `background` with `spinner` over it, turning clockwise once a
  // second until another image is set.
  virtual void setSpinningImage(const std::string& background, const std::string& spinner) = 0;
  // The text beside the image; "" for none.
  virtual void setLabel(const std::string& text) = 0;
  // The launcher badge: the count, 0 for none.
  virtual void setBadgeCount(std::int64_t count) = 0;
  // Replaces the whole menu; actions run on the main thread.
  virtual void setMenu(std::vector<MenuEntry> entries) = 0;
};

}  // namespace nb::ui
