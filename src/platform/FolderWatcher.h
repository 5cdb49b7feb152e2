#pragma once
// A recursive folder watcher on inotify: one thread per watched root that
// keeps a watch on every folder of the tree and hands out batches of
// HandlerItem, each closed 0.1 s after its first event.
//
// What its users rely on:
// - only changes after the watches are in place are reported;
// - one item per changed path and batch (the flags of repeated events on
//   the same path are merged), paths absolute, "/.DS_Store" items skipped;
// - ids grow by 4 per item, except that the new half of a move takes the id
//   of its old half + 1, so only the two halves of one move are neighbours;
// - a folder that is made or moved in is watched with its whole subtree at
//   once; what appeared in it before its watch is not reported (a scan of
//   the folder finds it);
// - the root itself deleted or moved away gives one item for the root path
//   and ends the watching;
// - when changes may have been lost (the kernel's queue overflowed, or a
//   watch limit left a folder without a watch) onRescan is called: the
//   user must rescan the whole root. A watch limit is logged once, with
//   the limit to raise.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/HandlerItem.h"
#include "platform/InotifyWatches.h"
#include "platform/UniqueFd.h"

struct inotify_event;

namespace nb::platform {

class FolderWatcher {
 public:
  // Both run on the watcher thread and must return quickly; they must not
  // destroy the watcher.
  using BatchHandler = std::function<void(std::vector<HandlerItem>)>;
  using RescanHandler = std::function<void()>;

  struct Options {
    std::chrono::milliseconds latency{100};
    // How long a read that ends on the old half of a move waits for the new
    // half, so that a move is not split over two batches.
    std::chrono::milliseconds movePartnerWait{10};
    // Test seam: how a folder watch is added (inotify_add_watch if empty).
    InotifyWatches::AddWatch addWatch;
    // Also report changes of attributes alone (times, permissions) as
    // modifications: for watchers that must see a file whose time changed.
    bool attributeChanges = false;
  };

  // `root`: an absolute folder path; trailing "/" are ignored.
  FolderWatcher(std::string root, BatchHandler onBatch, RescanHandler onRescan);
  FolderWatcher(std::string root, BatchHandler onBatch, RescanHandler onRescan, Options options);
  // Stops and joins the thread.
  ~FolderWatcher();
  FolderWatcher(const FolderWatcher&) = delete;
  FolderWatcher& operator=(const FolderWatcher&) = delete;

  // Starts the watcher thread, which watches the tree and then reports.
  // Once only; answers false when already started.
  bool start();
  // Ends the reporting: no callback starts after it returned (except when
  // called from a callback, which ends the thread after it returns).
  // Safe from any thread; repeated calls change nothing.
  void stop();

  // Blocks until the first walk of the tree finished (or the watcher
  // stopped); `limit` is only a safety net. Answers whether it finished.
  bool waitUntilWatching(std::chrono::milliseconds limit = std::chrono::seconds(30)) const;

  // True while some folder of the tree lacks its watch because of a limit.
  bool lacksWatches() const { return lacksWatches_.load(); }
  // Tries again to watch every folder of the tree; answers whether none is
  // missing now. Safe from any thread.
  bool retryWatches();

  // The root path, without a trailing "/" ("/" stays "/").
  const std::string& root() const { return root_; }

  // --- Test only --------------------------------------------------------
  // Behaves as if the kernel's event queue had overflowed now.
  void simulateOverflow();

 private:
  void run();
  bool openInotify();
  void watchTree(const std::string& folder);  // needs mutex_
  void readAvailable();
  bool readOnce(bool& endedOnMoveFrom);
  void handleEvent(const ::inotify_event& event);  // needs mutex_
  void handleRootGone(uint32_t mask);                    // needs mutex_
  void addItem(HandlerItem item, uint32_t mask, uint32_t cookie);
  void openBatch();
  void flush();
  void reportLimit(int error);

  // Constant after construction.
  const std::string root_;
  const BatchHandler onBatch_;
  const RescanHandler onRescan_;
  const Options options_;

  UniqueFd inotify_;
  int inotifyErrno_ = 0;  // why inotify_ could not be made
  UniqueFd wake_;         // eventfd that wakes the thread to stop
  std::thread thread_;
  std::atomic<bool> started_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> overflowRequested_{false};
  std::atomic<bool> lacksWatches_{false};

  mutable std::mutex mutex_;
  mutable std::condition_variable watchingChanged_;
  bool watching_ = false;                    // guarded by mutex_
  std::unique_ptr<InotifyWatches> watches_;  // guarded by mutex_
  bool limitLogged_ = false;                 // guarded by mutex_
  bool rootGone_ = false;                    // guarded by mutex_
  bool limitHit_ = false;                    // guarded by mutex_: since the last batch

  // The open batch; touched by the watcher thread only.
  std::vector<HandlerItem> pending_;
  bool batchOpen_ = false;
  bool overflowed_ = false;
  std::chrono::steady_clock::time_point deadline_;
  int64_t lastId_ = 0;
  std::unordered_map<std::string, size_t> plainItemOf_;  // path -> index in pending_
  std::unordered_map<uint32_t, int64_t> moveIdOf_;       // cookie -> id of the old half
  std::map<uint32_t, std::string> movedFolders_;         // cookie -> old path of a folder
};

}  // namespace nb::platform
