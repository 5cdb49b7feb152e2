#pragma once
// The two small native windows of local copies: the name-conflict question
// (replace, keep both, stop, with "apply to all") and the copy progress
// window. Start-up registers the GTK implementation (ui/gtk/GtkCopyWindows.h);
// tests register the double of tests/support/FakeCopyWindows.h.
//
// Threads: registration and look-up from any thread; every member of the
// returned objects is for the main thread only, and their callbacks run
// there.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace nb::ui {

class WebWindow;

// What the name-conflict question shows.
struct ReplaceQuestion {
  std::string message;
  std::string icon;              // an icon name or image file; empty: none
  bool showApplyToAll = false;   // the check box, for operations of several items
  std::string applyToAllTitle;   // the check box's title
  std::string keepBothTitle;
  std::string stopTitle;
  std::string replaceTitle;
};

// The answer: which button (0 keep both, 1 stop, 2 replace) and the check
// box's state at that moment. Closing the question answers stop.
struct ReplaceAnswer {
  std::int64_t button = 1;
  bool applyToAll = false;
};

// The texts and images of a progress window.
struct ProgressLabels {
  std::string title;
  std::string action;         // what is being done
  std::string icon;           // the file's icon; empty: none
  std::string cancelImage;    // image files of the cancel button; empty: a plain button
  std::string cancelPressedImage;
  std::string cancelTooltip;
};

// One progress window: hidden until show().
class ProgressWindow {
 public:
  struct Handlers {
    std::function<void()> cancelClicked;
    // The window is gone (closed by the user or by close()); runs once, last.
    std::function<void()> closed;
  };

  ProgressWindow() = default;
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;
  virtual ~ProgressWindow() = default;

  virtual void setHandlers(Handlers handlers) = 0;
  virtual void setLabels(const ProgressLabels& labels) = 0;
  // Nothing hides the bar, the progress text and the cancel button; a value
  // shows them with the bar at `percent` (0 to 100) and `text`.
  virtual void setProgress(std::optional<std::int64_t> percent, const std::string& text) = 0;
  // Centred and kept above `parent` (may be null); brought to the front.
  virtual void show(WebWindow* parent) = 0;
  virtual void close() = 0;
  virtual bool isClosed() const = 0;
};

class CopyWindows {
 public:
  virtual ~CopyWindows() = default;

  // Shows the question modal over `parent` (may be null) and returns at
  // once; `done` runs later, exactly once (also when the question is closed
  // or its parent goes away first).
  virtual void askReplace(const ReplaceQuestion& question, WebWindow* parent,
                          std::function<void(ReplaceAnswer)> done) = 0;
  // The same, waiting in a nested main loop. Posted jobs run meanwhile:
  // hold no lock across this call.
  virtual ReplaceAnswer runReplace(const ReplaceQuestion& question, WebWindow* parent) = 0;

  // A new, hidden progress window.
  virtual std::unique_ptr<ProgressWindow> makeProgressWindow() = 0;
};

// Registers the copy windows; null takes them back.
void setCopyWindows(std::shared_ptr<CopyWindows> windows);
// The registered copy windows. Null, with an error in the log naming
// `caller`, when none are registered.
std::shared_ptr<CopyWindows> currentCopyWindows(const char* caller);

}  // namespace nb::ui
