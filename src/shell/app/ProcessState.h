#pragma once
// Start-up of the process-wide state: makes the AppDelegate and registers
// every answer the lower layers ask the shell for (the application state,
// the session's hooks, the application-active query, the sync engine's
// transfer engine). Called once, on the main thread, before other threads
// start; stop() takes the registrations back (tests, and the end of the
// process).

#include <memory>

#include "shell/app/AppDelegate.h"

namespace nb {

class ProcessState {
 public:
  // Registers `app` (a new AppDelegate when null) everywhere.
  static std::shared_ptr<AppDelegate> start(std::shared_ptr<AppDelegate> app = nullptr);
  static void stop();

  // Whether one of the program's windows has the focus. Any thread.
  static bool isApplicationActive();
};

}  // namespace nb
