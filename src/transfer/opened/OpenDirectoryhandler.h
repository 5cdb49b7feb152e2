#pragma once
// The watcher of the folder of files opened for editing: when an opened
// file is saved with a new size or modification time, it is queued for
// upload back to its library (through the library's sync manager as an
// edit of an opened file when the sync store has the row, else as a plain
// upload record), its open history is brought up to date so the same save
// is not queued twice, and the upload pages reload their lists.
//
// Every item of a batch is looked at: an unchanged file (an editor's
// repeated event, a file opened but not saved) never hides the saves of
// other files in the same batch. The process's own writes of a file being
// downloaded are not taken for saves: its history row keeps time 0 until
// the download is in place, and such rows are not looked up.
//
// Events come from a recursive inotify watcher on its own thread, in
// batches closed 0.1 s after their first event; batches are handled there,
// one at a time. When events may have been lost, every file of the folder
// is looked at as if it had changed.

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "api/session/OpenDirectoryhandler.h"
#include "platform/HandlerItem.h"

namespace nb::platform {
class FolderWatcher;
}

namespace nb::transfer {

class OpenDirectoryhandler final : public nb::OpenDirectoryhandler {
 public:
  struct Options {
    // How long a batch stays open after its first event.
    std::chrono::milliseconds latency{100};
  };

  explicit OpenDirectoryhandler(std::string path);
  OpenDirectoryhandler(std::string path, Options options);
  // Stops the watcher and waits for a batch being handled.
  ~OpenDirectoryhandler() override;

  // Makes the folder when it is missing, then watches it and everything
  // below it from now on; a watcher started before is stopped first.
  void startMonitoring() override;
  void stopMonitoring();

  // Blocks until the folder is watched (or watching failed); for tests.
  bool waitUntilWatching(std::chrono::milliseconds limit = std::chrono::seconds(30));
  // Test only: behaves as if the kernel had dropped events now.
  void simulateOverflow();

  // One batch of events, in order. Called on the watcher thread; public so
  // that a caller may hand over events of its own.
  void handleBatch(const std::vector<platform::HandlerItem>& items);

 private:
  void handleItem(const platform::HandlerItem& item);
  // Every file below the folder as a changed item.
  void rescan();

  const Options options_;
  std::mutex watcherMutex_;
  std::unique_ptr<platform::FolderWatcher> watcher_;  // guarded by watcherMutex_
};

// Makes every session's opened-files watcher one of these. Call once at
// start-up, before the session (UserData) is first used.
void registerOpenDirectoryhandler();

}  // namespace nb::transfer
