#pragma once
// What the pages may ask of the process itself (end it, relaunch it, show
// the About window): the process life cycle registers these at start-up.
// An action that was never registered does nothing but log an error, so a
// missing registration shows.
//
// Threads: registration from any thread; the actions run on the main
// thread.

#include <functional>

namespace nb {

struct ApplicationActions {
  std::function<void()> terminate;        // ends the process now
  std::function<void()> restartClient;    // relaunches the client
  std::function<void()> openAboutWindow;  // shows the About window
  // The status menu for the session's lock state: locked (unlock, log-out,
  // quit) or normal.
  std::function<void(bool locked)> showLockState;
};

// Replaces every action at once.
void setApplicationActions(ApplicationActions actions);

void terminateApplication();
void restartClientApplication();
void openAboutWindow();
void showLockState(bool locked);

}  // namespace nb
