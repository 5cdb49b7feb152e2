#pragma once
// The client's own two windows as the application state reaches them: the
// sign-in window and the main window. The layer that owns the page bridge
// makes them (each with its bridge installed before its first page loads)
// and registers the maker at start-up; unregistered, each caller logs an
// error and reaches no window.
//
// Threads: main thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace nb {

class BrowserWebWindowController;
class LaunchpadWindowController;
class LoginWebWindowController;

class AppWindows {
 public:
  virtual ~AppWindows() = default;
  // The window; when it does not exist yet and `create` is set, it is made
  // hidden and starts loading its page. Null otherwise.
  virtual std::shared_ptr<LoginWebWindowController> loginWindow(bool create) = 0;
  virtual std::shared_ptr<LaunchpadWindowController> mainWindow(bool create) = 0;
  // The open browser windows, in the order they opened.
  virtual std::vector<std::shared_ptr<BrowserWebWindowController>> browserWindows() = 0;
  // The quit question: "QuitNotice" to the main page (signed in) or the
  // sign-in page, or `quit` at once when that window does not exist.
  virtual void askQuit(bool bLogin, bool bNBNoteNeedSave, std::int64_t nAllTransCount,
                       const std::function<void()>& quit) = 0;
};

// Registers the maker; null takes it back.
void setAppWindows(std::shared_ptr<AppWindows> windows);
// The registered maker; null (and an error naming `caller`) when none is.
std::shared_ptr<AppWindows> currentAppWindows(const char* caller);

}  // namespace nb
