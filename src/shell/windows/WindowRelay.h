#pragma once
// What a closing web window tells the rest of the shell: the window
// registry implements it (it knows the main window and every open window)
// and registers it at start-up. Unregistered, each call logs an error.
//
// Threads: called on the main thread.

#include <cstdint>
#include <memory>
#include <string>

namespace nb {

class WebWindowController;

class WindowRelay {
 public:
  virtual ~WindowRelay() = default;
  // The closing window showed a folder: the main page gets
  // "gCloseCurrentPath" with its JSON.
  virtual void gCloseCurrentPath(const std::string& json) = 0;
  // A browser window closed: every page gets "gCloseWindow" {"hwnd":n}.
  virtual void closeWindowsForLaunchpad(std::int64_t hwnd) = 0;
  // The controller's window is gone: drop it from the registry.
  virtual void windowClosed(const std::shared_ptr<WebWindowController>& controller) = 0;
};

void setWindowRelay(std::shared_ptr<WindowRelay> relay);
// The registered relay; null (and an error in the log naming `caller`)
// when none is.
std::shared_ptr<WindowRelay> currentWindowRelay(const char* caller);

}  // namespace nb
