#pragma once
// The progress window of a copy of local files into a linked folder: what
// is copied, a bar with the percentage, and a cancel button. Its monitor
// runs on the progress queue; closing the window, by the user, the cancel
// button or the end of the copy, stops the monitor, and a close before the
// end stops that copy (and no other).
//
// Threads: main thread, except where said. The controller keeps itself
// until its window has closed.

#include <cstdint>
#include <memory>
#include <string>

#include "shell/copy/CopyItem.h"
#include "shell/copy/CopyProgress.h"
#include "shell/ui/CopyWindows.h"

namespace nb {

class ProgressWindowController final
    : public std::enable_shared_from_this<ProgressWindowController> {
 public:
  // Opens the window on the copy list and starts its monitor; nothing for
  // an empty list (null). Main thread.
  static std::shared_ptr<ProgressWindowController> startCopy(std::shared_ptr<CopyJob> job);

  // The texts "复制中", "正在拷贝［%@］" / "正在拷贝%ld个项目" and the icon for
  // the list, as the window shows them. Any thread.
  static ui::ProgressLabels labelsFor(const CopyJob& job);

  ProgressWindowController(const ProgressWindowController&) = delete;
  ProgressWindowController& operator=(const ProgressWindowController&) = delete;
  ~ProgressWindowController();

  // A report of the monitor: shows the bar at `percent` (when at most 100);
  // closes the window once the copy is finished.
  void updateCopyProgress(std::uint64_t percent);
  // The cancel button: stops the copy and closes the window.
  void buttonCancelClicked();
  bool isClosed() const { return closed_; }

 private:
  explicit ProgressWindowController(std::shared_ptr<CopyJob> job);

  void displayex();
  void copyFile();
  void windowClosed();
  void myclear();

  const std::shared_ptr<CopyJob> job_;
  std::unique_ptr<ui::ProgressWindow> window_;
  std::shared_ptr<CopyProgress> cpyprogress_;
  bool closed_ = false;
};

}  // namespace nb
