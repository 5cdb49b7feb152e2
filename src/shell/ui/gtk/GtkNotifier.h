#pragma once
// ui::Notifier on libnotify. Each notification stays referenced until the
// desktop reports it closed; a click arrives through its "default" action
// (servers without actions give no clicks).

#include <glib.h>

#include <map>
#include <memory>

#include "shell/ui/Notifier.h"

typedef struct _NotifyNotification NotifyNotification;

namespace nb::ui {

class GtkNotifier final : public Notifier {
 public:
  GtkNotifier() = default;
  GtkNotifier(const GtkNotifier&) = delete;
  GtkNotifier& operator=(const GtkNotifier&) = delete;
  ~GtkNotifier() override;

  void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
  bool show(const Notification& notification) override;

 private:
  struct Shown {
    GtkNotifier* owner;
    std::optional<std::string> context;
    bool clicked = false;
  };
  static void onAction(NotifyNotification*, char* action, gpointer shown);
  static void onClosed(NotifyNotification* notification, gpointer shown);

  Handlers handlers_;
  bool initialised_ = false;
  bool actions_ = false;                                         // the server reports clicks
  std::map<NotifyNotification*, std::unique_ptr<Shown>> shown_;  // each holds a reference
};

}  // namespace nb::ui
