#pragma once
// What the lower layers may do with one web window of the shell: send its
// page an event. The shell's window controllers implement it; the shell
// hands them out through AppState::checkCurrent.

#include "foundation/app/PageEvent.h"

namespace nb {

class BaseWebWindowController {
 public:
  virtual ~BaseWebWindowController() = default;

  // Dispatches the event in the window's page on the main thread and waits
  // until it ran (inline on the main thread). Callable from any thread that
  // holds no lock the main thread may take.
  virtual void setCustomEvent(const PageEvent& event) = 0;
};

}  // namespace nb
