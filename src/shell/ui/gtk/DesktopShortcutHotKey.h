#pragma once
// The screenshot hot key where the program can grab no key itself: Wayland
// without the global shortcuts portal. The user binds the combination to
// the command kCommand in the desktop's keyboard settings; that command
// hands the request to the running copy, which takes the screenshot as if
// the key had reached it. grab() says so in the log once per combination
// and answers false: nothing is grabbed here.
//
// makeWaylandHotKey picks the portal where the desktop offers it, else this.
//
// Threads: main thread only.

#include <functional>
#include <memory>
#include <string>

#include <gio/gio.h>

#include "shell/ui/GlobalHotKey.h"

namespace nb::ui {

class DesktopShortcutHotKey final : public GlobalHotKey {
 public:
  static constexpr const char* kCommand = "nubren --screenshot";

  bool grab(const std::string& key, HotKeyModifiers modifiers) override;
  void release() override {}

  // The combination the user was last told to bind; empty before.
  const std::string& advised() const { return advised_; }

 private:
  std::string advised_;
};

// The hot key on Wayland: the desktop portal's global shortcut when `bus`
// (the session bus) has one, else the desktop shortcut above.
std::unique_ptr<GlobalHotKey> makeWaylandHotKey(GDBusConnection* bus,
                                                std::function<void()> pressed);

}  // namespace nb::ui
