#pragma once
// The screenshot hot key where the desktop runs Wayland: the desktop
// portal's global shortcuts (org.freedesktop.portal.GlobalShortcuts), where
// the desktop implements them. The portal binds shortcuts to a session of
// ours; a new combination closes the session and binds it in a new one.
// The desktop may show the user a dialog to confirm or change the
// combination, so grab() only starts the binding.
//
// Threads: main thread only; the bus's answers and the presses arrive there.

#include <cstdint>
#include <functional>
#include <string>

#include <gio/gio.h>

#include "platform/GObjectPtr.h"
#include "shell/ui/GlobalHotKey.h"

namespace nb::ui {

class PortalGlobalShortcut final : public GlobalHotKey {
 public:
  static constexpr const char* kBusName = "org.freedesktop.portal.Desktop";
  static constexpr const char* kObjectPath = "/org/freedesktop/portal/desktop";
  static constexpr const char* kInterface = "org.freedesktop.portal.GlobalShortcuts";
  // The one shortcut we bind.
  static constexpr const char* kShortcutId = "screenshot";

  // Whether the portal on `bus` offers global shortcuts (it answers their
  // "version"). Waits for the bus up to a second.
  static bool available(GDBusConnection* bus);
  // The combination as the portal's preferred trigger ("CTRL+SHIFT+a").
  static std::string trigger(const std::string& key, HotKeyModifiers modifiers);

  // `pressed` runs on each activation of the bound shortcut.
  PortalGlobalShortcut(GDBusConnection* bus, std::function<void()> pressed);
  ~PortalGlobalShortcut() override;
  PortalGlobalShortcut(const PortalGlobalShortcut&) = delete;
  PortalGlobalShortcut& operator=(const PortalGlobalShortcut&) = delete;

  // Starts a session and binds the combination in it; false when the
  // request could not be sent.
  bool grab(const std::string& key, HotKeyModifiers modifiers) override;
  // Closes the session: the shortcut no longer fires.
  void release() override;

  // The portal confirmed the binding of the current session.
  bool bound() const { return bound_; }

 private:
  // Calls `method` of the portal with a fresh request handle token; the
  // portal's answer (its Response signal) goes to `onResponse`.
  bool request(const char* method, GVariant* parameters, const std::string& token,
               void (*onResponse)(PortalGlobalShortcut&, std::uint32_t, GVariant*));
  void stopWaiting();
  void bind();
  static void sessionCreated(PortalGlobalShortcut& self, std::uint32_t response, GVariant* results);
  static void shortcutsBound(PortalGlobalShortcut& self, std::uint32_t response, GVariant* results);
  static void onResponse(GDBusConnection*, const char*, const char*, const char*, const char*,
                         GVariant* parameters, gpointer self);
  static void onActivated(GDBusConnection*, const char*, const char*, const char*, const char*,
                          GVariant* parameters, gpointer self);
  static void onCallDone(GObject* source, GAsyncResult* result, gpointer self);

  platform::GObjectPtr<GDBusConnection> bus_;
  std::string portal_;  // the portal's unique name while a session is wanted
  std::function<void()> pressed_;
  // Cancelled with the object: pending calls then finish without it.
  platform::GObjectPtr<GCancellable> cancel_;
  std::string trigger_;        // what the current session binds
  std::string session_;        // the session's object path; empty: none
  unsigned responseWatch_ = 0;  // the Response awaited, if any
  void (*awaiting_)(PortalGlobalShortcut&, std::uint32_t, GVariant*) = nullptr;
  unsigned activatedWatch_ = 0;
  bool bound_ = false;
  unsigned serial_ = 0;  // makes tokens unique within the process
};

}  // namespace nb::ui
