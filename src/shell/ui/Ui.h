#pragma once
// The UI layer of the shell: what the window controllers, alerts and
// notifications use of the desktop. Start-up registers the GTK + WebKit
// implementation (ui/gtk/GtkUi.h); tests register the recording double of
// tests/support/FakeUi.h. Nothing else in the shell touches GTK directly.
//
// Threads: registration and look-up are safe from any thread; what the
// returned objects allow is documented on each.

#include <functional>
#include <memory>
#include <string>

#include "shell/ui/AppMenu.h"
#include "shell/ui/Clipboard.h"
#include "shell/ui/Dialogs.h"
#include "shell/ui/GlobalHotKey.h"
#include "shell/ui/KeyObserver.h"
#include "shell/ui/Notifier.h"
#include "shell/ui/ScreenCapture.h"
#include "shell/ui/StatusItem.h"
#include "shell/ui/WebWindow.h"

namespace nb::ui {

class Ui {
 public:
  virtual ~Ui() = default;
  // A new, hidden window. Main thread only.
  virtual std::shared_ptr<WebWindow> makeWebWindow(const WebWindowOptions& options) = 0;
  virtual Dialogs& dialogs() = 0;
  virtual Notifier& notifier() = 0;
  virtual Clipboard& clipboard() = 0;
  // A new status item; `id` names the program to the desktop. Main thread only.
  virtual std::shared_ptr<StatusItem> makeStatusItem(const std::string& id) = 0;
  virtual ScreenCapture& screenCapture() = 0;
  // A global hot key whose presses run `pressed`. Main thread only.
  virtual std::unique_ptr<GlobalHotKey> makeGlobalHotKey(std::function<void()> pressed) = 0;
  // Sees the keys of every window, made before or after; null stops it.
  // Main thread only.
  virtual void setKeyObserver(KeyObserver observer) = 0;
  // The application menu of every window, made before or after. Main
  // thread only.
  virtual void setApplicationMenu(AppMenu menu) = 0;
  // Hides (iconifies) the windows of every other program, where the
  // desktop lets us. Main thread only.
  virtual void hideOtherApplications() = 0;
};

// Registers the UI; null takes it back.
void setUi(std::shared_ptr<Ui> ui);
// The registered UI. Null, with an error in the log naming `caller`, when
// none is registered: a shell part used before start-up fails loudly.
std::shared_ptr<Ui> currentUi(const char* caller);

}  // namespace nb::ui
