#include "shell/ui/gtk/PortalGlobalShortcut.h"

#include <unistd.h>

#include "platform/Log.h"

namespace nb::ui {

namespace {

constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";

// Where the portal announces the answer to a request of ours: the bus's
// documented path made of our unique name and the token we chose. Known
// before the call, so the answer is awaited before it can be sent.
std::string requestPath(GDBusConnection* bus, const std::string& token) {
  std::string sender = g_dbus_connection_get_unique_name(bus) ? g_dbus_connection_get_unique_name(bus)
                                                              : "";
  if (!sender.empty() && sender.front() == ':') sender.erase(0, 1);
  for (char& c : sender) {
    if (c == '.') c = '_';
  }
  return std::string("/org/freedesktop/portal/desktop/request/") + sender + "/" + token;
}

// The portal's unique name; empty when no one owns its name.
std::string portalOwner(GDBusConnection* bus) {
  GVariant* owner = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner",
      g_variant_new("(s)", PortalGlobalShortcut::kBusName), G_VARIANT_TYPE("(s)"),
      G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
  if (!owner) return {};
  const char* name = nullptr;
  g_variant_get(owner, "(&s)", &name);
  std::string result = name ? name : "";
  g_variant_unref(owner);
  return result;
}

}  // namespace

bool PortalGlobalShortcut::available(GDBusConnection* bus) {
  if (!bus) return false;
  // Auto-started: on a desktop the portal may not run yet.
  GError* error = nullptr;
  GVariant* version = g_dbus_connection_call_sync(
      bus, kBusName, kObjectPath, "org.freedesktop.DBus.Properties", "Get",
      g_variant_new("(ss)", kInterface, "version"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
      3000, nullptr, &error);
  if (!version) {
    NBLOG_INFO("the desktop offers no global shortcuts portal ({})", error ? error->message : "");
    if (error) g_error_free(error);
    return false;
  }
  g_variant_unref(version);
  return true;
}

std::string PortalGlobalShortcut::trigger(const std::string& key, HotKeyModifiers modifiers) {
  std::string text;
  if (modifiers.ctrl) text += "CTRL+";
  if (modifiers.alt) text += "ALT+";
  if (modifiers.shift) text += "SHIFT+";
  if (modifiers.super) text += "LOGO+";
  return text + key;
}

PortalGlobalShortcut::PortalGlobalShortcut(GDBusConnection* bus, std::function<void()> pressed)
    : bus_(bus ? G_DBUS_CONNECTION(g_object_ref(bus)) : nullptr),
      pressed_(std::move(pressed)),
      cancel_(g_cancellable_new()) {}

PortalGlobalShortcut::~PortalGlobalShortcut() {
  release();
  g_cancellable_cancel(cancel_.get());
}

bool PortalGlobalShortcut::grab(const std::string& key, HotKeyModifiers modifiers) {
  release();
  if (!bus_) return false;
  // Signals are taken from the portal's unique name only: another program
  // on the bus cannot fake a press or an answer.
  portal_ = portalOwner(bus_.get());
  if (portal_.empty()) {
    NBLOG_WARN("no global shortcuts portal on the bus: the hot key is not bound");
    return false;
  }
  trigger_ = trigger(key, modifiers);
  const std::string stem = "nubren" + std::to_string(getpid()) + "_" + std::to_string(++serial_);
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string((stem + "c").c_str()));
  g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string(stem.c_str()));
  return request("CreateSession", g_variant_new("(a{sv})", &options), stem + "c", &sessionCreated);
}

void PortalGlobalShortcut::release() {
  stopWaiting();
  if (activatedWatch_ != 0) {
    g_dbus_connection_signal_unsubscribe(bus_.get(), activatedWatch_);
    activatedWatch_ = 0;
  }
  if (!session_.empty()) {
    g_dbus_connection_call(bus_.get(), portal_.c_str(), session_.c_str(), kSessionInterface, "Close",
                           nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    session_.clear();
  }
  bound_ = false;
}

bool PortalGlobalShortcut::request(const char* method, GVariant* parameters,
                                   const std::string& token,
                                   void (*handler)(PortalGlobalShortcut&, std::uint32_t, GVariant*)) {
  stopWaiting();
  responseWatch_ = g_dbus_connection_signal_subscribe(
      bus_.get(), portal_.c_str(), kRequestInterface, "Response",
      requestPath(bus_.get(), token).c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &onResponse, this,
      nullptr);
  awaiting_ = handler;
  g_dbus_connection_call(bus_.get(), portal_.c_str(), kObjectPath, kInterface, method, parameters,
                         G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, -1, cancel_.get(),
                         &onCallDone, this);
  return true;
}

void PortalGlobalShortcut::stopWaiting() {
  if (responseWatch_ != 0) g_dbus_connection_signal_unsubscribe(bus_.get(), responseWatch_);
  responseWatch_ = 0;
  awaiting_ = nullptr;
}

void PortalGlobalShortcut::onCallDone(GObject* source, GAsyncResult* result, gpointer data) {
  GError* error = nullptr;
  GVariant* handle = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  if (!handle) {
    // Cancelled: the object is gone; touch nothing.
    const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    if (!cancelled) {
      NBLOG_WARN("the global shortcuts portal refused a request: {}", error->message);
      static_cast<PortalGlobalShortcut*>(data)->stopWaiting();
    }
    g_error_free(error);
    return;
  }
  g_variant_unref(handle);
}

void PortalGlobalShortcut::onResponse(GDBusConnection*, const char*, const char*, const char*,
                                      const char*, GVariant* parameters, gpointer data) {
  auto& self = *static_cast<PortalGlobalShortcut*>(data);
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) return;
  auto* handler = self.awaiting_;
  self.stopWaiting();
  if (!handler) return;
  guint32 response = 2;
  GVariant* results = nullptr;
  g_variant_get(parameters, "(u@a{sv})", &response, &results);
  handler(self, response, results);
  g_variant_unref(results);
}

void PortalGlobalShortcut::sessionCreated(PortalGlobalShortcut& self, std::uint32_t response,
                                          GVariant* results) {
  GVariant* handle = response == 0 ? g_variant_lookup_value(results, "session_handle", nullptr)
                                   : nullptr;
  // Documented as a string; some portals send an object path.
  if (!handle || !(g_variant_is_of_type(handle, G_VARIANT_TYPE_STRING) ||
                   g_variant_is_of_type(handle, G_VARIANT_TYPE_OBJECT_PATH))) {
    NBLOG_WARN("the global shortcuts portal opened no session (response {})", response);
    if (handle) g_variant_unref(handle);
    return;
  }
  self.session_ = g_variant_get_string(handle, nullptr);
  g_variant_unref(handle);
  self.activatedWatch_ = g_dbus_connection_signal_subscribe(
      self.bus_.get(), self.portal_.c_str(), kInterface, "Activated", kObjectPath, nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, &onActivated, &self, nullptr);
  self.bind();
}

void PortalGlobalShortcut::bind() {
  const std::string token = "nubren" + std::to_string(getpid()) + "_" + std::to_string(++serial_) + "b";
  GVariantBuilder shortcut;
  g_variant_builder_init(&shortcut, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&shortcut, "{sv}", "description", g_variant_new_string("Screenshot"));
  g_variant_builder_add(&shortcut, "{sv}", "preferred_trigger",
                        g_variant_new_string(trigger_.c_str()));
  GVariantBuilder shortcuts;
  g_variant_builder_init(&shortcuts, G_VARIANT_TYPE("a(sa{sv})"));
  g_variant_builder_add(&shortcuts, "(sa{sv})", kShortcutId, &shortcut);
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  request("BindShortcuts",
          g_variant_new("(oa(sa{sv})sa{sv})", session_.c_str(), &shortcuts, "", &options), token,
          &shortcutsBound);
}

void PortalGlobalShortcut::shortcutsBound(PortalGlobalShortcut& self, std::uint32_t response,
                                          GVariant*) {
  if (response != 0) {
    NBLOG_WARN("the screenshot shortcut {} was not bound (response {})", self.trigger_, response);
    return;
  }
  NBLOG_INFO("the screenshot shortcut {} is bound through the desktop portal", self.trigger_);
  self.bound_ = true;
}

void PortalGlobalShortcut::onActivated(GDBusConnection*, const char*, const char*, const char*,
                                       const char*, GVariant* parameters, gpointer data) {
  auto& self = *static_cast<PortalGlobalShortcut*>(data);
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})"))) return;
  const char* session = nullptr;
  const char* id = nullptr;
  g_variant_get(parameters, "(&o&sta{sv})", &session, &id, nullptr, nullptr);
  if (self.session_ != session || std::string(id) != kShortcutId) return;
  if (self.pressed_) self.pressed_();
}

}  // namespace nb::ui
