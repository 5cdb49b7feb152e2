#pragma once
// The screenshot hot key where the program can grab no key itself: Wayland
// without the global shortcuts portal. The combination is bound to the
// command kCommand as a custom shortcut of the desktop, which hands the
// request to the running copy; that copy takes the screenshot as if the key
// had reached it. Where the desktop keeps custom shortcuts in GSettings
// (GNOME's media-keys schema), grab() writes ours there and release()
// takes it out; elsewhere grab() tells the user in the log how to bind it.
// The shortcut stays when the program ends: the setting is the user's.
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
  static constexpr const char* kListSchema = "org.gnome.settings-daemon.plugins.media-keys";
  static constexpr const char* kEntrySchema =
      "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
  static constexpr const char* kEntryPath =
      "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/nubren-screenshot/";

  // `schemas` and `backend` null: the desktop's own.
  explicit DesktopShortcutHotKey(GSettingsSchemaSource* schemas = nullptr,
                                 GSettingsBackend* backend = nullptr);
  ~DesktopShortcutHotKey() override;
  DesktopShortcutHotKey(const DesktopShortcutHotKey&) = delete;
  DesktopShortcutHotKey& operator=(const DesktopShortcutHotKey&) = delete;

  // True when the desktop's custom shortcut now runs kCommand on the
  // combination.
  bool grab(const std::string& key, HotKeyModifiers modifiers) override;
  void release() override;

  // The combination the user was last told to bind; empty before.
  const std::string& advised() const { return advised_; }
  // The combination in GTK's notation ("<Control><Shift>a").
  static std::string accelerator(const std::string& key, HotKeyModifiers modifiers);

 private:
  // The two settings objects; null when the desktop keeps no custom
  // shortcuts in GSettings.
  GSettings* list_ = nullptr;
  GSettings* entry_ = nullptr;
  std::string advised_;
};

// The hot key on Wayland: the desktop portal's global shortcut when `bus`
// (the session bus) has one, else the desktop shortcut above (with
// `schemas` and `backend` as its constructor takes them).
std::unique_ptr<GlobalHotKey> makeWaylandHotKey(GDBusConnection* bus,
                                                std::function<void()> pressed,
                                                GSettingsSchemaSource* schemas = nullptr,
                                                GSettingsBackend* backend = nullptr);

}  // namespace nb::ui
