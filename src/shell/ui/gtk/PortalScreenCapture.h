#pragma once
// Interactive screenshots through the desktop's Screenshot portal
// (org.freedesktop.portal.Screenshot): the desktop lets the user pick the
// area and hands back a picture file. A desktop without the portal falls
// back to a configured capture program, started with an argv (never a
// shell); without either, a capture ends with no picture, as does a
// refusal or a cancel.

#include <string>
#include <vector>

#include "shell/ui/ScreenCapture.h"

namespace nb::ui {

class PortalScreenCapture final : public ScreenCapture {
 public:
  // The variable naming the capture program: its words as a command line
  // (quotes allowed, no shell features); the word "%f" stands for the
  // picture's file, which is appended when no word names it.
  static constexpr const char* kProgramVariable = "NUBREN_SCREENSHOT_PROGRAM";

  struct Options {
    bool usePortal = true;
    // The capture program's argv with "%f" for the file; empty: none.
    std::vector<std::string> program;
  };

  // The portal, and the program kProgramVariable names.
  PortalScreenCapture();
  explicit PortalScreenCapture(Options options);

  void captureToClipboard(std::function<void(bool captured)> done) override;
  void captureToFile(const std::string& path, std::function<void(bool captured)> done) override;

 private:
  const Options options_;
};

}  // namespace nb::ui
