#pragma once
// The modal alert the sync engine raises from a background job: the shell
// registers how it is shown at start-up (a modal dialog on the main thread,
// waited for); tests register a recording one. Unregistered, a call logs an
// error and returns at once.

#include <functional>
#include <string>

namespace nb {

// Shows `message` with one button titled `button` and returns once the user
// pressed it. Called on a task-queue thread, never on the main thread, and
// with no lock of the engine held.
using SyncAlertPresenter = std::function<void(const std::string& message, const std::string& button)>;

// Registers the presenter; an empty one restores the logging stand-in.
// Thread-safe.
void setSyncAlertPresenter(SyncAlertPresenter presenter);

// Shows the alert through the registered presenter.
void showSyncAlert(const std::string& message, const std::string& button);

}  // namespace nb
