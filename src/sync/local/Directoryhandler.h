#pragma once
// The folder watcher of one linked local root, shared by every sync manager
// linked at that root. Its watcher thread hands each batch of file events to
// a DirectoryhandlerTask on the root's serial queue, which applies it to
// every manager.
//
// Life: the sync centre's registry holds the handler; each queued batch
// holds it too, so a handler outlives its last batch. A batch may unlink its
// own root (eventdel -> stopWatch -> stopMonitoring): stopMonitoring never
// waits for the queue.
//
// Every member is safe from any thread.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/FolderWatcher.h"
#include "platform/HandlerItem.h"
#include "platform/OperationQueue.h"
#include "sync/local/LocalEventTarget.h"

namespace nb {

using platform::HandlerItem;

class Directoryhandler : public std::enable_shared_from_this<Directoryhandler> {
 public:
  // A handler of `root` (kept with exactly one trailing "/"), watching
  // flag set, nothing watched yet.
  static std::shared_ptr<Directoryhandler> initpath(const std::string& root);
  static std::shared_ptr<Directoryhandler> initpath(const std::string& root,
                                                    platform::FolderWatcher::Options options);
  ~Directoryhandler();
  Directoryhandler(const Directoryhandler&) = delete;
  Directoryhandler& operator=(const Directoryhandler&) = delete;

  // Adds a manager unless that same object is already served.
  void AddManager(std::shared_ptr<LocalEventTarget> manager);
  void DelManager(const LocalEventTarget* manager);

  // Starts the watcher thread; only changes from then on are reported.
  void startMonitoringThread();
  // Stops reporting for good and lets go of every manager: later events and
  // batches still queued are dropped. Does not wait for a batch that runs
  // (it may be the caller).
  void stopMonitoring();

  const std::string& _srcPath() const { return srcPath_; }
  // A copy of the served managers, in the order of addition.
  std::vector<std::shared_ptr<LocalEventTarget>> _managerlist() const;
  bool _isWatchingPaths() const { return isWatchingPaths_.load(); }

  // Asks every served manager for a full rescan (events were lost).
  void requestRescan();
  // Called before every compare cycle: while a folder of the root lacks
  // its watch (a watch limit), tries again and, still lacking, asks for a
  // rescan. Answers whether the rescan was asked for.
  bool checkWatches();

  // --- Test only --------------------------------------------------------
  // Blocks until the first walk of the root is done.
  bool waitUntilWatching() const { return watcher_.waitUntilWatching(); }
  // Blocks until every batch queued so far was applied.
  void waitUntilIdle() { taskqueue_->waitUntilAllOperationsAreFinished(); }
  platform::FolderWatcher& watcher() { return watcher_; }
  // Queues one batch as the watcher would.
  void _SCEventsCallBack(std::vector<HandlerItem> batch);

 private:
  friend class DirectoryhandlerTask;
  Directoryhandler(std::string root, platform::FolderWatcher::Options options);

  // Notes the queue's worker, so destruction on it can hand the queue off.
  void enteredQueue() { queueThread_ = std::this_thread::get_id(); }

  // Constant after construction.
  const std::string srcPath_;

  std::atomic<bool> isWatchingPaths_{true};
  std::atomic<std::thread::id> queueThread_{};
  std::unique_ptr<platform::OperationQueue> taskqueue_;  // width 1

  mutable std::mutex managersMutex_;
  std::vector<std::shared_ptr<LocalEventTarget>> managerlist_;  // guarded by managersMutex_

  // Last: destroyed first, so no callback reaches a half-destroyed handler.
  platform::FolderWatcher watcher_;
};

}  // namespace nb
