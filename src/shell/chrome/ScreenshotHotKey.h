#pragma once
// The screenshot hot key: decides whether a key press is the combination
// the user chose (AppDelegate::SetHotKey), and then lets the user capture
// an area of the screen to the clipboard and tells the main page that a
// picture waits there ("gHaveShortcuts").
//
// Threads: main thread only (key presses come from the desktop's events).

#include <cstdint>
#include <memory>
#include <string>

#include "shell/app/AppDelegate.h"
#include "shell/ui/ScreenCapture.h"

namespace nb {

// Modifier values of a key press, one bit each.
inline constexpr unsigned kHotKeyShift = 0x20000;
inline constexpr unsigned kHotKeyCtrl = 0x40000;
inline constexpr unsigned kHotKeyAlt = 0x80000;
inline constexpr unsigned kHotKeyCommand = 0x100000;
inline constexpr unsigned kHotKeyModifierMask = 0x1E0000;

struct KeyPress {
  // What the key types without modifiers (any case).
  std::string character;
  // Held modifiers as the values above; other bits are ignored.
  unsigned modifiers = 0;
};

// The modifier value the setting asks for: the sum of the set flags.
unsigned requiredHotKeyModifiers(const AppDelegate& app);

// Whether `key`, pressed at `now` (seconds since 1970), fires the hot key:
// a modifier and a key are set, the character matches without case, the
// held modifiers are exactly the required ones, and more than one second
// passed since the last screenshot ended.
bool hotKeyFires(const AppDelegate& app, const KeyPress& key, std::uint64_t now);

class ScreenshotHotKey : public std::enable_shared_from_this<ScreenshotHotKey> {
 public:
  // Both must outlive this object.
  ScreenshotHotKey(AppDelegate& app, ui::ScreenCapture& capture);
  ScreenshotHotKey(const ScreenshotHotKey&) = delete;
  ScreenshotHotKey& operator=(const ScreenshotHotKey&) = delete;

  // A key press anywhere. Starts a capture when it fires and none is
  // running (a press during a capture is ignored); answers whether one
  // started.
  bool keyDown(const KeyPress& key);
  bool capturing() const { return capturing_; }

 private:
  void captureEnded(bool captured);

  AppDelegate& app_;
  ui::ScreenCapture& capture_;
  bool capturing_ = false;
};

}  // namespace nb
