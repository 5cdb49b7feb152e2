#include "shell/ui/gtk/GtkNotifier.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <libnotify/notify.h>

#include "platform/GObjectPtr.h"
#include "platform/Log.h"

namespace nb::ui {

namespace {

constexpr const char* kApplicationName = "nubren";

bool serverHasActions() {
  GList* caps = notify_get_server_caps();
  bool actions = false;
  for (GList* node = caps; node; node = node->next) {
    if (g_strcmp0(static_cast<const char*>(node->data), "actions") == 0) actions = true;
  }
  g_list_free_full(caps, g_free);
  return actions;
}

}  // namespace

GtkNotifier::~GtkNotifier() {
  for (auto& [notification, shown] : shown_) {
    g_signal_handlers_disconnect_by_data(notification, shown.get());
    g_object_unref(notification);
  }
}

bool GtkNotifier::show(const Notification& notification) {
  if (!initialised_) {
    if (!notify_is_initted() && !notify_init(kApplicationName)) {
      NBLOG_ERROR("desktop notifications are not available");
      return false;
    }
    initialised_ = true;
    actions_ = serverHasActions();
  }
  NotifyNotification* shown =
      notify_notification_new(notification.title.c_str(), notification.body.c_str(), nullptr);
  notify_notification_set_hint_string(shown, "desktop-entry", kApplicationName);
  notify_notification_set_urgency(shown, NOTIFY_URGENCY_NORMAL);
  if (!notification.iconPath.empty()) {
    platform::GObjectPtr<GdkPixbuf> image(
        gdk_pixbuf_new_from_file(notification.iconPath.c_str(), nullptr));
    if (image) notify_notification_set_image_from_pixbuf(shown, image.get());
  }
  auto entry = std::make_unique<Shown>(Shown{this, notification.context});
  if (actions_) {
    notify_notification_add_action(shown, "default", "Open", NOTIFY_ACTION_CALLBACK(onAction),
                                   entry.get(), nullptr);
  }
  g_signal_connect(shown, "closed", G_CALLBACK(onClosed), entry.get());
  GError* raw = nullptr;
  if (!notify_notification_show(shown, &raw)) {
    platform::GErrorPtr error(raw);
    NBLOG_ERROR("a notification could not be shown: {}", error ? error->message : "");
    g_signal_handlers_disconnect_by_data(shown, entry.get());
    g_object_unref(shown);
    return false;
  }
  shown_.emplace(shown, std::move(entry));
  return true;
}

void GtkNotifier::onAction(NotifyNotification*, char*, gpointer data) {
  auto* shown = static_cast<Shown*>(data);
  if (shown->clicked) return;
  shown->clicked = true;
  if (shown->owner->handlers_.clicked) shown->owner->handlers_.clicked(shown->context);
}

void GtkNotifier::onClosed(NotifyNotification* notification, gpointer data) {
  auto* shown = static_cast<Shown*>(data);
  GtkNotifier* owner = shown->owner;
  const bool clicked = shown->clicked;
  const std::optional<std::string> context = shown->context;
  auto it = owner->shown_.find(notification);
  if (it != owner->shown_.end()) {
    g_signal_handlers_disconnect_by_data(notification, shown);
    owner->shown_.erase(it);  // frees `shown`
    g_object_unref(notification);
  }
  if (!clicked && owner->handlers_.closed) owner->handlers_.closed(context);
}

}  // namespace nb::ui
