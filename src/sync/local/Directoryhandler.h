#pragma once
// The watcher of one local root folder, shared by every sync manager with a
// linked folder at that root. The sync centre's registry (startWatch /
// stopWatch) makes one per distinct root and keeps it in its handler list.
//
// This is the registry's side of a watcher: its root, the managers it
// serves and its watching flag. A stopped handler is never restarted; a
// later startWatch of the same root makes a new one. Safe from any thread.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace nb {

class SyncManager;

class Directoryhandler {
 public:
  // `srcPath` is the root with exactly one trailing "/".
  explicit Directoryhandler(std::string srcPath);
  Directoryhandler(const Directoryhandler&) = delete;
  Directoryhandler& operator=(const Directoryhandler&) = delete;

  const std::string& _srcPath() const { return srcPath_; }

  // Adds the manager unless that same object is already served.
  void AddManager(std::shared_ptr<SyncManager> manager);
  void DelManager(const std::shared_ptr<SyncManager>& manager);
  // A copy of the served managers, in order of addition.
  std::vector<std::shared_ptr<SyncManager>> _managerlist() const;

  // Stops watching for good and lets go of every manager, so an exited
  // manager is never handed another event. Never waits for the handler's
  // own work: a batch may call it while unlinking its own root.
  void stopMonitoring();
  bool _isWatchingPaths() const { return watching_; }

 private:
  const std::string srcPath_;
  std::atomic<bool> watching_{true};
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<SyncManager>> managers_;  // guarded by mutex_
};

}  // namespace nb
