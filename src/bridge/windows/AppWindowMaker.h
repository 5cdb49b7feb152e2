#pragma once
// Makes the client's sign-in and main windows with their page bridge and
// keeps them in the window registry; start-up registers it as the shell's
// AppWindows.
//
// Threads: main thread.

#include <memory>

#include "shell/windows/AppWindows.h"

namespace nb::bridge {

class AppWindowMaker final : public AppWindows {
 public:
  // Registers a maker as the shell's AppWindows.
  static std::shared_ptr<AppWindowMaker> start();

  std::shared_ptr<LoginWebWindowController> loginWindow(bool create) override;
  std::shared_ptr<LaunchpadWindowController> mainWindow(bool create) override;
  std::vector<std::shared_ptr<BrowserWebWindowController>> browserWindows() override;
  void askQuit(bool bLogin, bool bNBNoteNeedSave, std::int64_t nAllTransCount,
               const std::function<void()>& quit) override;
};

}  // namespace nb::bridge
