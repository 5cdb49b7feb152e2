#pragma once
// The client's alerts. Every answer is a return code: 1000 plus the index
// of the pressed button in the order the buttons were added. Closing an
// alert (close button, Escape) answers its last button, which callers make
// the safe choice.
//
// Sheets are modal for their window only; the modal question blocks all of
// the program's windows. Whatever waits for an answer on the main thread
// runs a nested main loop, in which posted jobs run too: hold no lock
// across these calls. A thread the main thread may be waiting for must not
// call the waiting entry points.
//
// Without a registered user interface every entry point logs an error and
// answers the last button.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/ui/Dialogs.h"
#include "shell/ui/WebWindow.h"

namespace nb {

class NBAlert {
 public:
  static constexpr int kFirstButtonReturn = 1000;

  struct Content {
    std::string message;
    std::string informative;
    std::string iconPath;  // empty: the style's icon
    ui::AlertStyle style = ui::AlertStyle::Warning;
  };

  NBAlert() = delete;

  // A sheet on `window` whose end calls `onDismiss` with the return code.
  // Main thread; returns at once; the callback runs on the main thread.
  static void showNBSheetModalForWindow(const std::shared_ptr<ui::WebWindow>& window,
                                        const Content& content,
                                        const std::vector<std::string>& otherButtonTitles,
                                        std::function<void(int code)> onDismiss);

  // A sheet with a separate cancel button, added last when a title is
  // given: pressing it calls only `onCancel`; every other button calls
  // `onDismiss` with its index (return code - 1000). Without a cancel title
  // every button calls `onDismiss`. Main thread; returns at once; the
  // callbacks run on the main thread.
  static void showSheetModalForWindow(const std::shared_ptr<ui::WebWindow>& window,
                                      const Content& content,
                                      const std::optional<std::string>& cancelButtonTitle,
                                      const std::vector<std::string>& otherButtonTitles,
                                      std::function<void(int index)> onDismiss,
                                      std::function<void()> onCancel);

  // An informational sheet with one button. On the main thread it returns
  // at once; on any other thread it returns once the button was pressed.
  // (The title is a C string so that a braced list of titles always means
  // the modal question below.)
  static void showNBSheetModalForWindow(const std::shared_ptr<ui::WebWindow>& window,
                                        const Content& content, const char* cancelButtonTitle);

  // The modal question: one button per non-empty title (empty titles take
  // no index), modal for the whole application; `window` is not used. Any
  // thread; answers the return code once the user answered.
  static int showNBSheetModalForWindow(const std::shared_ptr<ui::WebWindow>& window,
                                       const Content& content,
                                       const std::vector<std::string>& buttonTitles);

  // A sheet on `window` that its caller waits for: answers the return code
  // and leaves no sheet behind. Meant for the main thread; another thread
  // waits as for the modal question.
  static int runModalSheetForWindow(const std::shared_ptr<ui::WebWindow>& window,
                                    const Content& content,
                                    const std::vector<std::string>& buttonTitles);
};

}  // namespace nb
