#pragma once
// The desktop implementation of the UI layer: GTK 3 windows and dialogs,
// WebKit2GTK pages sharing one web context, libnotify notifications.
//
// One web context serves every window, so the sign-in and main pages share
// local storage and cookies; its data (local storage, cookies, cache)
// lives in the client's configuration folder.

#include <filesystem>
#include <memory>

#include "shell/ui/Ui.h"
#include "shell/ui/gtk/GtkClipboardAccess.h"
#include "shell/ui/gtk/GtkDialogs.h"
#include "shell/ui/gtk/GtkNotifier.h"
#include "shell/ui/gtk/PortalScreenCapture.h"

typedef struct _WebKitWebContext WebKitWebContext;

namespace nb::ui {

class GtkUi final : public Ui {
 public:
  struct Options {
    // Where the pages' data goes; empty: "webkit" in the configuration
    // folder.
    std::filesystem::path dataFolder;
  };

  // Initialises GTK on the calling thread, which must be the main thread.
  // Null (and an error in the log) when there is no display.
  static std::shared_ptr<GtkUi> create(Options options = {});

  explicit GtkUi(WebKitWebContext* context);  // takes the reference
  GtkUi(const GtkUi&) = delete;
  GtkUi& operator=(const GtkUi&) = delete;
  ~GtkUi() override;

  std::shared_ptr<WebWindow> makeWebWindow(const WebWindowOptions& options) override;
  Dialogs& dialogs() override { return dialogs_; }
  Notifier& notifier() override { return notifier_; }
  Clipboard& clipboard() override { return clipboard_; }
  std::shared_ptr<StatusItem> makeStatusItem(const std::string& id) override;
  ScreenCapture& screenCapture() override { return screenCapture_; }
  std::unique_ptr<GlobalHotKey> makeGlobalHotKey(std::function<void()> pressed) override;
  void setKeyObserver(KeyObserver observer) override { *keyObserver_ = std::move(observer); }
  void setApplicationMenu(AppMenu menu) override { *appMenu_ = std::move(menu); }
  void hideOtherApplications() override;

 private:
  WebKitWebContext* context_;
  GtkDialogs dialogs_;
  GtkNotifier notifier_;
  GtkClipboardAccess clipboard_;
  PortalScreenCapture screenCapture_;
  // Shared with every window, which asks it on each key.
  const std::shared_ptr<KeyObserver> keyObserver_ = std::make_shared<KeyObserver>();
  // Shared likewise, read when a window's menu button is pressed.
  const std::shared_ptr<AppMenu> appMenu_ = std::make_shared<AppMenu>();
};

}  // namespace nb::ui
