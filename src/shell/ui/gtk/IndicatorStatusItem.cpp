#include "shell/ui/gtk/IndicatorStatusItem.h"

#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <system_error>

#include "platform/GObjectPtr.h"
#include "platform/Log.h"

namespace nb::ui {

namespace {

constexpr int kSpinnerFrames = 10;  // about ten pictures a second
constexpr unsigned kFrameMs = 1000 / kSpinnerFrames;

platform::GObjectPtr<GdkPixbuf> loadPixbuf(const std::string& file) {
  if (file.empty()) return nullptr;
  GError* raw = nullptr;
  platform::GObjectPtr<GdkPixbuf> pixbuf(gdk_pixbuf_new_from_file(file.c_str(), &raw));
  platform::GErrorPtr error(raw);
  if (error) NBLOG_WARN("status image {} unreadable: {}", file, error->message);
  return pixbuf;
}

bool savePng(GdkPixbuf* pixbuf, const std::string& path) {
  GError* raw = nullptr;
  const bool saved = gdk_pixbuf_save(pixbuf, path.c_str(), "png", &raw, nullptr);
  platform::GErrorPtr error(raw);
  if (!saved) NBLOG_WARN("status image {} not written: {}", path, error ? error->message : "");
  return saved;
}

// The spinner over the background, turned clockwise by `angle` radians
// about the picture's centre.
bool saveSpinnerFrame(GdkPixbuf* background, GdkPixbuf* spinner, double angle,
                      const std::string& path) {
  const int width = gdk_pixbuf_get_width(background);
  const int height = gdk_pixbuf_get_height(background);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  gdk_cairo_set_source_pixbuf(cr, background, 0, 0);
  cairo_paint(cr);
  if (spinner) {
    cairo_translate(cr, width / 2.0, height / 2.0);
    cairo_rotate(cr, angle);  // y grows downward: positive turns clockwise
    gdk_cairo_set_source_pixbuf(cr, spinner, -gdk_pixbuf_get_width(spinner) / 2.0,
                                -gdk_pixbuf_get_height(spinner) / 2.0);
    cairo_paint(cr);
  }
  cairo_destroy(cr);
  const bool saved = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return saved;
}

void runEntry(GtkMenuItem*, gpointer data) {
  // Run once the menu has closed: the action may replace the menu, and
  // with it this item and its closure.
  auto* action = new std::function<void()>(*static_cast<std::function<void()>*>(data));
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer job) -> gboolean {
        auto* fn = static_cast<std::function<void()>*>(job);
        if (*fn) (*fn)();
        return G_SOURCE_REMOVE;
      },
      action, [](gpointer job) { delete static_cast<std::function<void()>*>(job); });
}

void freeEntry(gpointer data, GClosure*) { delete static_cast<std::function<void()>*>(data); }

}  // namespace

IndicatorStatusItem::IndicatorStatusItem(const std::string& id) : id_(id) {
  const std::string pattern = "nubren-status-XXXXXX";
  GError* raw = nullptr;
  platform::GCharPtr folder(g_dir_make_tmp(pattern.c_str(), &raw));
  platform::GErrorPtr error(raw);
  if (folder) themeFolder_ = folder.get();
  indicator_ = app_indicator_new(id.c_str(), "", APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
  if (!themeFolder_.empty()) {
    // HACK: without a status item host the library falls back to a tray
    // icon, and that fallback's search for the theme folder in the default
    // icon theme reads past the end of the search path when the folder is
    // not there yet (a crash on desktops without a host). Put it there first.
    gtk_icon_theme_append_search_path(gtk_icon_theme_get_default(), themeFolder_.c_str());
    app_indicator_set_icon_theme_path(indicator_, themeFolder_.c_str());
  }
  app_indicator_set_title(indicator_, id.c_str());
  app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_ACTIVE);
  // The host registers an item only once it has a menu.
  setMenu({});
}

IndicatorStatusItem::~IndicatorStatusItem() {
  stopSpinning();
  if (indicator_) {
    app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_PASSIVE);
    g_object_unref(indicator_);
  }
  if (menu_) {
    gtk_widget_destroy(menu_);
    g_object_unref(menu_);
  }
  if (!themeFolder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(themeFolder_, ignored);
  }
}

std::string IndicatorStatusItem::pictureFor(const std::string& file, bool monochrome) {
  const std::string key = file + (monochrome ? "\n1" : "\n0");
  if (auto it = names_.find(key); it != names_.end()) return it->second;
  platform::GObjectPtr<GdkPixbuf> pixbuf = loadPixbuf(file);
  if (!pixbuf || themeFolder_.empty()) return {};
  if (monochrome) {
    platform::GObjectPtr<GdkPixbuf> grey(gdk_pixbuf_copy(pixbuf.get()));
    gdk_pixbuf_saturate_and_pixelate(pixbuf.get(), grey.get(), 0.0f, FALSE);
    pixbuf = std::move(grey);
  }
  // Each picture gets a name of its own: hosts cache icons by name.
  const std::string name = "nb-" + std::to_string(nextName_++);
  if (!savePng(pixbuf.get(), themeFolder_ + "/" + name + ".png")) return {};
  names_[key] = name;
  return name;
}

void IndicatorStatusItem::showIcon(const std::string& name) {
  app_indicator_set_icon_full(indicator_, name.c_str(), id_.c_str());
}

void IndicatorStatusItem::stopSpinning() {
  if (spinTimer_ != 0) g_source_remove(spinTimer_);
  spinTimer_ = 0;
}

void IndicatorStatusItem::setImage(const std::string& file, bool monochrome) {
  stopSpinning();
  showIcon(pictureFor(file, monochrome));
}

void IndicatorStatusItem::setSpinningImage(const std::string& background,
                                           const std::string& spinner) {
  stopSpinning();
  if (frames_.empty()) {
    platform::GObjectPtr<GdkPixbuf> bg = loadPixbuf(background);
    platform::GObjectPtr<GdkPixbuf> mv = loadPixbuf(spinner);
    for (int i = 0; bg && !themeFolder_.empty() && i < kSpinnerFrames; ++i) {
      const std::string name = "nb-spin-" + std::to_string(i);
      const double angle = 2 * std::numbers::pi * i / kSpinnerFrames;
      if (!saveSpinnerFrame(bg.get(), mv.get(), angle, themeFolder_ + "/" + name + ".png")) break;
      frames_.push_back(name);
    }
  }
  if (frames_.empty()) return showIcon("");
  frame_ = 0;
  showIcon(frames_[0]);
  spinTimer_ = g_timeout_add(
      kFrameMs,
      [](gpointer data) -> gboolean {
        auto* self = static_cast<IndicatorStatusItem*>(data);
        self->frame_ = (self->frame_ + 1) % self->frames_.size();
        self->showIcon(self->frames_[self->frame_]);
        return G_SOURCE_CONTINUE;
      },
      this);
}

void IndicatorStatusItem::setLabel(const std::string& text) {
  app_indicator_set_label(indicator_, text.c_str(), "99+");
}

void IndicatorStatusItem::setBadgeCount(std::int64_t count) {
  GError* raw = nullptr;
  platform::GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
  platform::GErrorPtr error(raw);
  if (!bus) return;
  GVariantBuilder properties;
  g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&properties, "{sv}", "count", g_variant_new_int64(count));
  g_variant_builder_add(&properties, "{sv}", "count-visible", g_variant_new_boolean(count != 0));
  const std::string appUri = "application://" + id_ + ".desktop";
  g_dbus_connection_emit_signal(bus.get(), nullptr, "/com/canonical/unity/launcherentry/nubren",
                                "com.canonical.Unity.LauncherEntry", "Update",
                                g_variant_new("(sa{sv})", appUri.c_str(), &properties), nullptr);
}

void IndicatorStatusItem::setMenu(std::vector<MenuEntry> entries) {
  GtkWidget* menu = gtk_menu_new();
  g_object_ref_sink(menu);
  for (MenuEntry& entry : entries) {
    GtkWidget* item = nullptr;
    if (entry.isSeparator()) {
      item = gtk_separator_menu_item_new();
    } else {
      item = gtk_menu_item_new_with_label(entry.title.c_str());
      g_signal_connect_data(item, "activate", G_CALLBACK(runEntry),
                            new std::function<void()>(std::move(entry.activate)), freeEntry,
                            GConnectFlags(0));
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
  gtk_widget_show_all(menu);
  app_indicator_set_menu(indicator_, GTK_MENU(menu));
  if (menu_) {
    gtk_widget_destroy(menu_);
    g_object_unref(menu_);
  }
  menu_ = menu;
}

}  // namespace nb::ui
