#include "shell/ui/gtk/GtkUi.h"

#include <webkit2/webkit2.h>

#include <atomic>
#include <system_error>

#include "platform/AppFolders.h"
#include "platform/GObjectPtr.h"
#include "platform/Log.h"
#include "shell/ui/gtk/GtkWebWindow.h"
#include "shell/ui/gtk/DesktopShortcutHotKey.h"
#include "shell/ui/gtk/IndicatorStatusItem.h"
#include "shell/ui/gtk/X11HotKeyGrab.h"
#include "shell/ui/gtk/X11OtherWindows.h"

namespace nb::ui {

namespace {

// Window numbers are never reused within the process.
std::int64_t nextHwnd() {
  static std::atomic<std::int64_t> next{1};
  return next++;
}

WebKitWebContext* makeContext(const std::filesystem::path& folder) {
  const std::string data = (folder / "data").string();
  const std::string cache = (folder / "cache").string();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
      "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr);
  WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(manager);
  g_object_unref(manager);
  webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_WEB_BROWSER);
  WebKitCookieManager* cookies = webkit_web_context_get_cookie_manager(context);
  const std::string cookieFile = (folder / "cookies.sqlite").string();
  webkit_cookie_manager_set_persistent_storage(cookies, cookieFile.c_str(),
                                               WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
  webkit_cookie_manager_set_accept_policy(cookies, WEBKIT_COOKIE_POLICY_ACCEPT_ALWAYS);
  return context;
}

}  // namespace

std::shared_ptr<GtkUi> GtkUi::create(Options options) {
  if (!gtk_init_check(nullptr, nullptr)) {
    NBLOG_ERROR("no display: the windows cannot be shown");
    return nullptr;
  }
  const std::filesystem::path folder =
      options.dataFolder.empty() ? platform::configFolder() / "webkit" : options.dataFolder;
  return std::make_shared<GtkUi>(makeContext(folder));
}

GtkUi::GtkUi(WebKitWebContext* context) : context_(context) {}

GtkUi::~GtkUi() { g_object_unref(context_); }

std::shared_ptr<WebWindow> GtkUi::makeWebWindow(const WebWindowOptions& options) {
  auto window = std::make_shared<GtkWebWindow>(context_, options, nextHwnd());
  window->setKeyObserver(keyObserver_);
  window->setAppMenu(appMenu_);
  return window;
}

std::shared_ptr<StatusItem> GtkUi::makeStatusItem(const std::string& id) {
  return std::make_shared<IndicatorStatusItem>(id);
}

void GtkUi::hideOtherApplications() { minimizeOtherApplications(); }

std::unique_ptr<GlobalHotKey> GtkUi::makeGlobalHotKey(std::function<void()> pressed) {
  if (X11HotKeyGrab::available()) {
    return std::make_unique<X11HotKeyGrab>(std::move(pressed));
  }
  // Wayland: only the desktop can hand us a global key.
  platform::GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
  return makeWaylandHotKey(bus.get(), std::move(pressed));
}

}  // namespace nb::ui
