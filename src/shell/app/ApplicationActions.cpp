#include "shell/app/ApplicationActions.h"

#include <mutex>

#include "platform/Log.h"

namespace nb {

namespace {

std::mutex actionsMutex;
ApplicationActions actions_;  // guarded by actionsMutex

void run(std::function<void()> ApplicationActions::*member, const char* what) {
  std::function<void()> action;
  {
    std::lock_guard lock(actionsMutex);
    action = actions_.*member;
  }
  if (action) {
    action();
  } else {
    NBLOG_ERROR("no action is registered to {}", what);
  }
}

}  // namespace

void setApplicationActions(ApplicationActions actions) {
  std::lock_guard lock(actionsMutex);
  actions_ = std::move(actions);
}

void terminateApplication() { run(&ApplicationActions::terminate, "end the process"); }

void restartClientApplication() { run(&ApplicationActions::restartClient, "relaunch the client"); }

void openAboutWindow() { run(&ApplicationActions::openAboutWindow, "show the About window"); }

void showLockState(bool locked) {
  std::function<void(bool)> action;
  {
    std::lock_guard lock(actionsMutex);
    action = actions_.showLockState;
  }
  if (action) {
    action(locked);
  } else {
    NBLOG_ERROR("no action is registered to show the lock state in the status menu");
  }
}

}  // namespace nb
