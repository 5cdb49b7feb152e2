#include "platform/DesktopApps.h"

#include <gio/gio.h>

#include "platform/GObjectPtr.h"
#include "platform/Log.h"

namespace nb::platform {

namespace {

std::string uriForPath(const std::string& path) {
  GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
  GCharPtr uri(g_file_get_uri(file.get()));
  return uri ? std::string(uri.get()) : std::string();
}

// The content type guessed from the name alone: the probes and panels ask
// about files that are empty or not there at all.
std::string contentTypeForName(const std::string& fileName) {
  gboolean uncertain = FALSE;
  GCharPtr type(g_content_type_guess(fileName.c_str(), nullptr, 0, &uncertain));
  return type ? std::string(type.get()) : std::string();
}

bool launchWith(GAppInfo* app, const std::string& path) {
  GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
  GList files{file.get(), nullptr, nullptr};
  GError* raw = nullptr;
  const bool ok = g_app_info_launch(app, &files, nullptr, &raw) != FALSE;
  GErrorPtr error(raw);
  if (!ok) {
    NBLOG_WARN("launch {} failed: {}", g_app_info_get_id(app) ? g_app_info_get_id(app) : "",
               error ? error->message : "");
  }
  return ok;
}

bool showItemsOverDbus(const std::string& uri) {
  GError* raw = nullptr;
  GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
  GErrorPtr error(raw);
  if (!bus) {
    return false;
  }
  const gchar* uris[] = {uri.c_str(), nullptr};
  GVariant* reply = g_dbus_connection_call_sync(
      bus.get(), "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
      "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(^ass)", uris, ""), nullptr,
      G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000, nullptr, &raw);
  error.reset(raw);
  if (reply == nullptr) {
    return false;
  }
  g_variant_unref(reply);
  return true;
}

}  // namespace

bool openUri(const std::string& uri) {
  GError* raw = nullptr;
  const bool ok = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &raw) != FALSE;
  GErrorPtr error(raw);
  if (!ok) {
    NBLOG_WARN("open {} failed: {}", uri, error ? error->message : "");
  }
  return ok;
}

bool openFile(const std::string& path) {
  const std::string uri = uriForPath(path);
  return !uri.empty() && openUri(uri);
}

bool openFileWith(const std::string& path, const std::string& appId) {
  GList* all = g_app_info_get_all();
  bool ok = false;
  bool found = false;
  for (GList* it = all; it != nullptr && !found; it = it->next) {
    auto* app = static_cast<GAppInfo*>(it->data);
    const char* id = g_app_info_get_id(app);
    if (id != nullptr && appId == id) {
      found = true;
      ok = launchWith(app, path);
    }
  }
  g_list_free_full(all, g_object_unref);
  if (!found) {
    NBLOG_WARN("no application with id {}", appId);
  }
  return ok;
}

bool revealFile(const std::string& path) {
  const std::string uri = uriForPath(path);
  if (uri.empty()) {
    return false;
  }
  if (showItemsOverDbus(uri)) {
    return true;
  }
  GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
  GObjectPtr<GFile> parent(g_file_get_parent(file.get()));
  if (!parent) {
    return false;
  }
  GCharPtr parentUri(g_file_get_uri(parent.get()));
  return parentUri && openUri(parentUri.get());
}

std::vector<AppChoice> appsForFile(const std::string& path) {
  std::vector<AppChoice> out;
  const std::string type = contentTypeForName(path);
  if (type.empty()) {
    return out;
  }
  GList* apps = g_app_info_get_all_for_type(type.c_str());
  for (GList* it = apps; it != nullptr; it = it->next) {
    auto* app = static_cast<GAppInfo*>(it->data);
    const char* id = g_app_info_get_id(app);
    const char* name = g_app_info_get_display_name(app);
    if (id != nullptr) {
      out.push_back({id, name != nullptr ? name : id});
    }
  }
  g_list_free_full(apps, g_object_unref);
  return out;
}

std::string iconForFileName(const std::string& fileName) {
  const std::string type = contentTypeForName(fileName);
  if (type.empty()) {
    return {};
  }
  GObjectPtr<GIcon> icon(g_content_type_get_icon(type.c_str()));
  if (!icon) {
    return {};
  }
  GCharPtr text(g_icon_to_string(icon.get()));
  return text ? std::string(text.get()) : std::string();
}

bool networkAvailable() {
  GNetworkMonitor* monitor = g_network_monitor_get_default();  // owned by GIO
  return monitor != nullptr && g_network_monitor_get_network_available(monitor) != FALSE;
}

}  // namespace nb::platform
