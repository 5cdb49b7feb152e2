#pragma once
// One transfer while it runs: the record's running state and the flags that
// commands from other threads set. The upload and download tasks derive
// from it and give the body (run) and, where they have sources, the way a
// stop reaches them. A manager hands each task to its operation queue
// through a TaskOperation and keeps it in its running list until the item
// shows kTransEnded.
//
// Besides the item, a task holds its sources (download sources or the upload
// session) and the done-map of the file's bytes.
//
// Thread-safety: every member may be called from any thread. The item is
// guarded by the task's lock; callers outside the task only ever get copies.
// The source list is guarded by pLocksc, the task's local file and the
// done-map by pFilesc (take pLocksc first when both are needed). Stop, Delete
// and setBNormal only set flags and pass the stop on; the body notices them
// at its next check. The store is never touched here.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include <vector>

#include "api/models/TransTaskItem.h"
#include "transfer/engine/PeerBase.h"
#include "transfer/ranges/DataLocator.h"

namespace nb {

class TransferTask {
 public:
  // Keeps the item and marks it running (status 1).
  explicit TransferTask(TransTaskItem item);
  virtual ~TransferTask() = default;
  TransferTask(const TransferTask&) = delete;
  TransferTask& operator=(const TransferTask&) = delete;

  // The transfer itself, on a thread of the manager's queue. It stores the
  // record's outcome and may throw: the TaskOperation around it catches.
  // The item is set to kTransEnded after it returned, whatever happened.
  virtual void run() = 0;
  // Frees the sources once the manager drops the ended task.
  virtual void releaseSources() {}

  // A running item becomes stopped (3); a waiting one (2) stays waiting. The
  // task must end and store its state; every source gets Stop(false).
  // Answers true.
  bool Stop();
  // As Stop, but the record is being deleted: the task stores nothing and
  // removes its side files; every source gets Stop(true).
  bool Delete();
  // With a following Stop, the task returns its record to waiting with its
  // offset instead of stopping it (a download yielding to one being opened).
  void setBNormal(bool normal) { bNormal_.store(normal); }

  bool bStop() const { return bStop_.load(); }
  bool bDelete() const { return bDelete_.load(); }
  bool bNormal() const { return bNormal_.load(); }

  // A copy of the running state.
  TransTaskItem item() const;
  // Changes the running state under the task's lock; `change` must not call
  // back into the task.
  void updateItem(const std::function<void(TransTaskItem&)>& change);
  std::int64_t nIndex() const;
  std::int64_t nStatus() const;
  void setNStatus(std::int64_t status);

  // Speed: the average since the transfer proper began (setUllStarttime),
  // bytes over whole seconds of the monotonic clock. Refreshes the item's
  // ullSpeed when it can compute one; else answers 0 and the item keeps its
  // last speed.
  std::uint64_t GetSpeed();
  std::uint64_t ullSpeed() const { return ullSpeed_.load(); }
  std::uint64_t ullTranssize() const { return ullTranssize_.load(); }
  void addTranssize(std::uint64_t bytes) { ullTranssize_.fetch_add(bytes); }
  std::uint64_t ullStarttime() const { return ullStarttime_.load(); }
  void setUllStarttime(std::uint64_t monotonicSeconds) { ullStarttime_.store(monotonicSeconds); }
  // Bytes of the piece in flight not yet counted in the item's offset.
  std::uint64_t ullBlockOffset() const { return ullBlockOffset_.load(); }
  void setUllBlockOffset(std::uint64_t bytes) { ullBlockOffset_.store(bytes); }

  // Whole seconds of the current clock's monotonic time, as tasks and
  // managers measure speeds.
  static std::uint64_t monotonicSeconds();

  // ---- sources, under pLocksc ----
  std::mutex& pLocksc() const { return pLocksc_; }
  // The task owns its sources; the list is changed only under pLocksc.
  std::vector<std::shared_ptr<PeerBase>>& listPeer() { return listPeer_; }
  void addPeer(std::shared_ptr<PeerBase> peer);
  // A copy of the list, taken under pLocksc.
  std::vector<std::shared_ptr<PeerBase>> peers() const;
  // Empties the list under pLocksc (the task ends).
  void clearPeers();

  // ---- local file and done-map, under pFilesc ----
  std::mutex& pFilesc() const { return pFilesc_; }
  // The bytes of the file that are done; read and changed under pFilesc.
  DataLocator& pFinish() { return pFinish_; }
  // Under pFilesc: whether the done-map covers the item's whole size.
  bool CheckFinish();

 protected:
  // The task ended itself (finished or failed): later commands and its own
  // outcome steps see it as stopped.
  void markEnded() { bStop_.store(true); }

  // Further sources a subclass keeps outside listPeer, told of a stop after
  // every listed source; `deleting` tells them to drop their side state.
  // Called by Stop (false) and Delete (true) after the flags are set; must
  // not block.
  virtual void stopSources(bool deleting) { (void)deleting; }

 private:
  void markStopped(bool deleting);
  void stopPeers(bool deleting);

  mutable std::mutex itemMutex_;
  TransTaskItem item_;  // guarded by itemMutex_

  mutable std::mutex pLocksc_;
  std::vector<std::shared_ptr<PeerBase>> listPeer_;  // guarded by pLocksc_

  mutable std::mutex pFilesc_;
  DataLocator pFinish_;  // guarded by pFilesc_

  std::atomic<bool> bStop_{false};
  std::atomic<bool> bDelete_{false};
  std::atomic<bool> bNormal_{false};
  std::atomic<std::uint64_t> ullTranssize_{0};
  std::atomic<std::uint64_t> ullStarttime_{0};
  std::atomic<std::uint64_t> ullSpeed_{0};
  std::atomic<std::uint64_t> ullBlockOffset_{0};
};

// What a manager makes its tasks with; answers null when it cannot make one
// for the item. Set by the layer that builds the tasks.
using TransferTaskFactory = std::function<std::shared_ptr<TransferTask>(const TransTaskItem&)>;

}  // namespace nb
