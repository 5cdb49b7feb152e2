#include "shell/ui/gtk/DesktopShortcutHotKey.h"

#include "platform/Log.h"
#include "shell/ui/gtk/PortalGlobalShortcut.h"

namespace nb::ui {

bool DesktopShortcutHotKey::grab(const std::string& key, HotKeyModifiers modifiers) {
  const std::string combination = PortalGlobalShortcut::trigger(key, modifiers);
  if (combination != advised_) {
    NBLOG_INFO("this desktop lets no program take a global key: bind {} to the command \"{}\" in "
               "the keyboard settings for screenshots from anywhere",
               combination, kCommand);
    advised_ = combination;
  }
  return false;
}

std::unique_ptr<GlobalHotKey> makeWaylandHotKey(GDBusConnection* bus,
                                                std::function<void()> pressed) {
  if (PortalGlobalShortcut::available(bus)) {
    return std::make_unique<PortalGlobalShortcut>(bus, std::move(pressed));
  }
  return std::make_unique<DesktopShortcutHotKey>();
}

}  // namespace nb::ui
