#include "shell/chrome/ScreenshotHotKey.h"

#include "foundation/app/PageEvent.h"
#include "foundation/text/StringHelpers.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "shell/windows/WindowDirectory.h"

namespace nb {

unsigned requiredHotKeyModifiers(const AppDelegate& app) {
  unsigned m = 0;
  if (app.bAlt()) m += kHotKeyAlt;
  if (app.bCtrl()) m += kHotKeyCtrl;
  if (app.bCommand()) m += kHotKeyCommand;
  if (app.bShift()) m += kHotKeyShift;
  return m;
}

bool hotKeyFires(const AppDelegate& app, const KeyPress& key, std::uint64_t now) {
  const unsigned m = requiredHotKeyModifiers(app);
  const std::string hotKey = app.hotKeyString();
  if (m == 0 || hotKey.empty()) return false;
  if (lowercaseString(key.character) != lowercaseString(hotKey)) return false;
  if ((key.modifiers & kHotKeyModifierMask) != m) return false;
  return now > app.ullScreenshotTime() + 1;
}

ScreenshotHotKey::ScreenshotHotKey(AppDelegate& app, ui::ScreenCapture& capture)
    : app_(app), capture_(capture) {}

bool ScreenshotHotKey::keyDown(const KeyPress& key) {
  if (capturing_ || !hotKeyFires(app_, key, platform::nowSeconds())) return false;
  capturing_ = true;
  std::weak_ptr<ScreenshotHotKey> weak = weak_from_this();
  capture_.captureToClipboard([weak](bool captured) {
    if (auto self = weak.lock()) self->captureEnded(captured);
  });
  return true;
}

void ScreenshotHotKey::captureEnded(bool captured) {
  capturing_ = false;
  app_.setUllScreenshotTime(platform::nowSeconds());
  // After a cancelled capture the clipboard still holds whatever was there
  // before, and the page would paste that as the screenshot.
  if (!captured) return;
  auto directory = currentWindowDirectory("screenshot to the main window");
  auto event = PageEvent::fromJsonText("gHaveShortcuts", "{}");
  if (directory && event) directory->sendToMain(*event, false);
}

}  // namespace nb
