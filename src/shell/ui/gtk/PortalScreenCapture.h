#pragma once
// Interactive screenshots through the desktop's Screenshot portal
// (org.freedesktop.portal.Screenshot): the desktop lets the user pick the
// area and hands back a picture file, which goes to the clipboard. A
// desktop without the portal, a refusal or a cancel all end with no
// picture.

#include "shell/ui/ScreenCapture.h"

namespace nb::ui {

class PortalScreenCapture final : public ScreenCapture {
 public:
  void captureToClipboard(std::function<void(bool captured)> done) override;
};

}  // namespace nb::ui
