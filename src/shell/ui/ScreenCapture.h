#pragma once
// An interactive screenshot: the user picks an area of the screen and the
// picture goes to the clipboard. The desktop implementation asks the
// desktop's screenshot portal; tests use the double of
// tests/support/FakeUi.h.
//
// Threads: main thread only.

#include <functional>
#include <string>

namespace nb::ui {

class ScreenCapture {
 public:
  virtual ~ScreenCapture() = default;
  // Starts a capture and returns at once; `done` runs later on the main
  // thread, with true only when a picture reached the clipboard (false:
  // cancelled, refused or failed). Never runs `done` inline.
  virtual void captureToClipboard(std::function<void(bool captured)> done) = 0;
  // Starts a capture whose picture replaces the file `path` (which may
  // exist, empty, to hold the name); `done` runs later on the main thread,
  // true only when the picture is there (false: cancelled, refused or
  // failed). Never runs `done` inline. The clipboard is left alone.
  virtual void captureToFile(const std::string& path, std::function<void(bool captured)> done) = 0;
};

}  // namespace nb::ui
