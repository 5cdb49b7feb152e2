#pragma once
// Where the application state finds the open web windows: the window
// registry of the page bridge implements it and registers it at start-up.
// Unregistered, each caller logs an error and reaches no window.
//
// Threads: any; see each member.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/app/BaseWebWindowController.h"
#include "foundation/app/PageEvent.h"

namespace nb {

class WindowDirectory {
 public:
  virtual ~WindowDirectory() = default;
  // To every page (see WindowRegistry::setAllCustomEvent); waits for each.
  virtual void setAllCustomEvent(const PageEvent& event) = 0;
  // The windows showing the library / exactly the folder, main window first.
  virtual std::vector<std::shared_ptr<BaseWebWindowController>> windowsShowing(
      std::int64_t mountId) = 0;
  virtual std::vector<std::shared_ptr<BaseWebWindowController>> windowsShowing(
      std::int64_t mountId, const std::string& webpath) = 0;
  // To the main page only, on the main thread; `wait`: the caller waits
  // until it ran. Nothing without a main window.
  virtual void sendToMain(const PageEvent& event, bool wait) = 0;
  // To the self-update window only, when it is open; off the main thread
  // the caller waits until its page ran it.
  virtual void sendToUpdateWindow(const PageEvent& event) = 0;
  // The main and sign-in windows load their pages again (new pages were
  // installed, or the session changed). Main thread.
  virtual void reloadPages() = 0;
};

void setWindowDirectory(std::shared_ptr<WindowDirectory> directory);
// The registered directory; null (and an error naming `caller`) when none is.
std::shared_ptr<WindowDirectory> currentWindowDirectory(const char* caller);

}  // namespace nb
