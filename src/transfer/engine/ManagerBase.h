#pragma once
// One dispatch manager per direction: a thread that turns the transfer
// store's waiting records into tasks on an operation queue of the user's
// width, the list of running tasks through which commands and queries reach
// them, a ten-second speed average, and the automatic re-queue of failed
// records at most once every 61 s.
//
// Locks: runningMutex_ (pLock) guards the running list, pendingMutex_
// (pListLock) the pending list, speedMutex_ (pSpeedLock) the speed window.
// Commands take them one after another, never together. Only the dispatch
// thread nests them, always pendingMutex_ then runningMutex_, so that a task
// is in the running list before any command can look for it; nothing takes
// them the other way round. The store is never called under runningMutex_.
//
// Every public member is safe from any thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "api/models/TransTaskItem.h"
#include "api/session/TransActionCounter.h"
#include "platform/OperationQueue.h"
#include "platform/StoppableThread.h"
#include "platform/WakeableSleep.h"
#include "transfer/engine/DispatchGate.h"
#include "transfer/engine/TransferTask.h"

namespace nb {

class TransPortDB;

class ManagerBase {
 public:
  static constexpr std::int64_t kDefaultTaskMax = 5;
  // Samples kept by the speed window.
  static constexpr std::size_t kSpeedSamples = 10;

  // What a manager needs from its facade. All references outlive it.
  struct Context {
    TransPortDB& store;
    // The bulk-add counter (nTransAction): nothing starts while it is not 0.
    TransActionCounter& transActions;
    DispatchGate gate;
    // The facade's count of unfinished records of this direction
    // (nDownloadRealCount / nUploadCount): the loop idles while it is 0.
    std::function<std::int64_t()> pendingCount;
  };

  ManagerBase(std::string threadName, Context context);
  // Ends the dispatch thread, stops every running task and waits for the
  // queue to drain.
  virtual ~ManagerBase();
  ManagerBase(const ManagerBase&) = delete;
  ManagerBase& operator=(const ManagerBase&) = delete;

  // The layer that builds tasks registers how; until then the loop starts
  // nothing and logs that the factory is missing.
  void setTaskFactory(TransferTaskFactory factory);

  // --- Life cycle -------------------------------------------------------------------
  // Starts a dispatch thread. A thread an earlier exit() told to end is
  // joined first, so there is never more than one loop.
  void start();
  // Tells the dispatch thread to end at its next check; running tasks go on.
  void exit();
  // Whether a dispatch thread was started and not told to end.
  bool isStarted() const;

  // nTaskMax and the queue width; running tasks are not touched.
  void SetMax(std::int64_t max);
  std::int64_t nTaskMax() const { return nTaskMax_.load(); }

  // --- Commands ---------------------------------------------------------------------
  // Each empties the pending list before it looks at the running tasks:
  // emptying waits for a dispatch in progress, so a task being started is
  // listed by the time the command looks for it.
  void Stop(std::int64_t id);
  void Delete(std::int64_t id);
  void StopAll();
  // Deletes the running tasks the sync engine did not make.
  void DeleteAll();
  // Deletes and drops at once the running tasks of the library at `webpath`
  // or under it ("p" or "p/..." exactly; "" is the whole library).
  void ClearTrans(const std::string& webpath, std::int64_t mountid);
  // Moves running tasks of the library from `oldwebpath` (and below it,
  // letter case ignored) to `newwebpath`.
  void RenameWebpath(std::int64_t mountid, const std::string& oldwebpath,
                     const std::string& newwebpath);

  // --- Queries ----------------------------------------------------------------------
  // Drops the tasks whose item shows kTransEnded.
  void CheckFinishorError();
  // The direction's speed: the mean of the last ten one-second samples.
  std::uint64_t GetSpeed();
  std::uint64_t GetSpeed(std::int64_t id);
  // Item offset plus the piece in flight of the running task, or 0.
  std::uint64_t GetOffset(std::int64_t id);
  // Copies of the running tasks' items that have not ended, in start order,
  // offsets including the piece in flight; content hash and storage point
  // are left out.
  std::vector<TransTaskItem> GetAll();
  // Running tasks whose item has not ended.
  std::int64_t GetTransCount();
  // A copy of the first running task of the library with exactly that web
  // path (id, library, status, kind, size, offset, speed); nIndex 0 when none.
  TransTaskItem GetTransInfo(const std::string& webpath, std::int64_t mountid);
  void AddSpeedTrans(std::uint64_t bytes);
  // Wakes a loop waiting for pending records or for the end of its pass
  // period; a task that ends calls it too, so its slot is filled at once.
  void SetTransStart();
  // Empties the pending list so that the next fetch sees the store's state.
  void clearPending();

 protected:
  // --- What each direction supplies ------------------------------------------------
  virtual std::vector<TransTaskItem> fetchWaiting() = 0;  // Get_Downloads / Get_Uploads
  virtual void markStarted(std::int64_t id) = 0;          // Update_*StartActlast
  virtual void resetErrors() = 0;                         // Reset*Error
  // Step 3 of a pass: waits while the direction has nothing unfinished;
  // false sends the loop to its next pass.
  virtual bool waitForWork(platform::StoppableThread& thread) = 0;
  // The sleep after an empty fetch.
  virtual std::chrono::milliseconds emptyPollSleep() const = 0;
  // Whether another record of the same transfer runs (content hash for
  // downloads, library and path for uploads). Called under runningMutex_.
  virtual bool heldBackLocked(const TransTaskItem& item) const = 0;
  // The record of a task whose body threw (see TaskOperation).
  virtual void onTaskException(TransferTask& task) = 0;

  // Ends the dispatch thread, stops every running task and waits for them.
  // Each direction calls it from its destructor, before its own part is
  // gone; repeated calls change nothing.
  void shutdown();

  // Waits at most `limit` for SetTransStart, the thread's stop or the end
  // of the time, on the current clock.
  void waitForTransStart(platform::StoppableThread& thread, std::chrono::nanoseconds limit);

  Context& context() { return context_; }

  // Guarded by runningMutex_; subclasses walk it under that lock.
  mutable std::mutex runningMutex_;
  std::vector<std::shared_ptr<TransferTask>> running_;

 private:
  void Run(platform::StoppableThread& thread);
  // Step 5 of a pass: starts tasks while there is room.
  void dispatch(platform::StoppableThread& thread);
  enum class Step { kStarted, kRetry, kLeave };
  Step dispatchOne(platform::StoppableThread& thread);
  void resetErrorsWhenDue();
  std::size_t runningCount();

  const std::string threadName_;
  Context context_;
  std::atomic<std::int64_t> nTaskMax_{kDefaultTaskMax};
  std::atomic<std::uint64_t> ullResetTime_{0};

  std::mutex factoryMutex_;
  TransferTaskFactory factory_;  // guarded by factoryMutex_
  std::atomic<bool> missingFactoryLogged_{false};

  std::mutex pendingMutex_;
  std::deque<TransTaskItem> pending_;  // guarded by pendingMutex_

  std::mutex speedMutex_;
  std::deque<std::uint64_t> speedWindow_;  // guarded by speedMutex_
  std::uint64_t ullSpeedTrans_ = 0;        // guarded by speedMutex_
  std::uint64_t ullSpeedTime_ = 0;         // guarded by speedMutex_

  platform::WakeableSleep transStart_;  // what SetTransStart cuts short

  mutable std::mutex threadMutex_;
  std::unique_ptr<platform::StoppableThread> thread_;  // guarded by threadMutex_

  // Declared last: destroyed first, after the destructor stopped the tasks.
  platform::OperationQueue queue_{static_cast<int>(kDefaultTaskMax)};
};

}  // namespace nb
