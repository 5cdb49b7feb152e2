#include "shell/ui/gtk/PortalScreenCapture.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <atomic>
#include <memory>
#include <string>

#include "platform/GObjectPtr.h"
#include "platform/Log.h"
#include "platform/MainThread.h"

namespace nb::ui {

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

// One capture in flight: the answer arrives as a Response signal on the
// request object the portal names after our bus name and the token.
struct Capture {
  std::function<void(bool)> done;
  platform::GObjectPtr<GDBusConnection> bus;
  guint subscription = 0;
  bool ended = false;

  // May free this object (through the subscription's destroy notify):
  // nothing touches it afterwards.
  void end(bool captured) {
    if (ended) return;
    ended = true;
    // Never inline: the caller may still be inside captureToClipboard.
    platform::MainThread::post([callback = std::move(done), captured] { callback(captured); });
    const guint id = subscription;
    subscription = 0;
    if (id == 0) return;
    platform::GObjectPtr<GDBusConnection> keep(G_DBUS_CONNECTION(g_object_ref(bus.get())));
    g_dbus_connection_signal_unsubscribe(keep.get(), id);
  }
};

bool pictureToClipboard(const std::string& uri) {
  platform::GCharPtr path(g_filename_from_uri(uri.c_str(), nullptr, nullptr));
  if (!path) return false;
  GError* raw = nullptr;
  platform::GObjectPtr<GdkPixbuf> picture(gdk_pixbuf_new_from_file(path.get(), &raw));
  platform::GErrorPtr error(raw);
  if (!picture) return false;
  gtk_clipboard_set_image(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), picture.get());
  return true;
}

void onResponse(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                GVariant* parameters, gpointer data) {
  auto* capture = static_cast<Capture*>(data);
  guint32 response = 2;
  GVariant* results = nullptr;
  g_variant_get(parameters, "(u@a{sv})", &response, &results);
  const gchar* uri = nullptr;
  bool captured = false;
  if (response == 0 && results && g_variant_lookup(results, "uri", "&s", &uri) && uri) {
    captured = pictureToClipboard(uri);
  }
  if (results) g_variant_unref(results);
  capture->end(captured);
}

std::string requestPath(GDBusConnection* bus, const std::string& token) {
  std::string sender = g_dbus_connection_get_unique_name(bus);
  if (!sender.empty() && sender[0] == ':') sender.erase(0, 1);
  for (char& c : sender) {
    if (c == '.') c = '_';
  }
  return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

}  // namespace

void PortalScreenCapture::captureToClipboard(std::function<void(bool captured)> done) {
  // Freed with the subscription's user data once the answer came or the
  // call failed.
  auto* capture = new Capture{std::move(done), nullptr};
  GError* raw = nullptr;
  capture->bus.reset(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
  platform::GErrorPtr error(raw);
  if (!capture->bus) {
    NBLOG_WARN("no session bus for the screenshot portal");
    capture->end(false);
    delete capture;
    return;
  }
  static std::atomic<unsigned> counter{0};
  const std::string token = "nubren" + std::to_string(++counter);
  // Subscribed before the call so that a quick answer is not missed.
  capture->subscription = g_dbus_connection_signal_subscribe(
      capture->bus.get(), kPortal, "org.freedesktop.portal.Request", "Response",
      requestPath(capture->bus.get(), token).c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NO_MATCH_RULE,
      onResponse, capture, [](gpointer data) { delete static_cast<Capture*>(data); });
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  g_variant_builder_add(&options, "{sv}", "interactive", g_variant_new_boolean(TRUE));
  g_variant_builder_add(&options, "{sv}", "modal", g_variant_new_boolean(TRUE));
  g_dbus_connection_call(
      capture->bus.get(), kPortal, kPortalPath, "org.freedesktop.portal.Screenshot", "Screenshot",
      g_variant_new("(sa{sv})", "", &options), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE,
      G_MAXINT, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        GError* failure = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &failure);
        platform::GErrorPtr owned(failure);
        if (reply) {
          g_variant_unref(reply);
          return;
        }
        NBLOG_WARN("screenshot portal unavailable: {}", owned ? owned->message : "");
        static_cast<Capture*>(data)->end(false);
      },
      capture);
}

}  // namespace nb::ui
