#pragma once
// Desktop notifications.
//
// Threads: main thread only (the desktop's notification library is not
// thread-safe); the shell's NotificationCenter posts requests there.

#include <functional>
#include <optional>
#include <string>

namespace nb::ui {

struct Notification {
  std::string title;
  std::string body;
  std::string iconPath;  // an image file; empty: none
  // Handed back when the notification is clicked or closes.
  std::optional<std::string> context;
};

class Notifier {
 public:
  struct Handlers {
    // Every shown notification ends with exactly one of these two: clicked,
    // or closed without a click (timed out, dismissed, replaced).
    std::function<void(const std::optional<std::string>& context)> clicked;
    std::function<void(const std::optional<std::string>& context)> closed;
  };

  virtual ~Notifier() = default;
  virtual void setHandlers(Handlers handlers) = 0;
  // Answers whether the notification went to the desktop; one that did not
  // never reports back.
  virtual bool show(const Notification& notification) = 0;
};

}  // namespace nb::ui
