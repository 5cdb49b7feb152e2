#pragma once
// The transfer engine's single entry point: the two dispatch managers, the
// counters that pages and the housekeeping timer read, and every user
// command on transfers, which changes the persistent record first and the
// running task second (a stopped record is stopped in the store before its
// task notices; a deleted one is gone before the loop refetches).
//
// Deletes follow two orders on purpose: a single delete reaches the task
// first, so it cannot store its state over the deleted row, then the store;
// a delete-all changes the store first, then the tasks, and keeps what the
// sync engine queued.
//
// Every member is safe from any thread. Commands add no lock of their own;
// the store serialises its statements and the managers take their locks.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "api/models/TransTaskItem.h"
#include "api/session/TransActionCounter.h"
#include "sync/operations/Network.h"
#include "transfer/engine/DispatchGate.h"
#include "transfer/engine/DownloadManager.h"
#include "transfer/engine/UploadManager.h"
#include "transfer/progress/CallbackThread.h"

namespace nb {
class TransPortDB;
}

namespace nb::transfer {

// Also what the sync engine asks of the transfer engine (nb::Network);
// registerAsSyncSeam() makes the shared instance its answer.
class Network final : public nb::Network {
 public:
  // Asks the library's sync manager to compare `webpath` afresh (without
  // overwriting); when `dir` is not given, the folder flag is read from the
  // library's sync store. Answers false when the library has no sync manager.
  using SyncReset =
      std::function<bool(std::int64_t mountid, const std::string& webpath, std::optional<bool> dir)>;

  struct Options {
    TransPortDB* store = nullptr;               // null: the shared transfer store
    TransActionCounter* transActions = nullptr; // null: the shared bulk-add counter
    DispatchGate gate = DispatchGate::standard();
    // Unset: every reset is logged as impossible and skipped.
    SyncReset resetSync;
  };

  // The process-wide engine, made on first use after the shared transfer
  // store (so the store outlives it).
  static Network& shareNetwork();
  // Registers the shared instance as the sync engine's transfer engine, and
  // the sync managers as the takers of finished and failed transfers.
  static void registerAsSyncSeam();
  // Finished and failed transfers go to the sync manager of their library.
  static void registerSyncHandOvers();
  // Undoes registerAsSyncSeam: every seam logs again until registered.
  static void unregisterSyncSeam();

  explicit Network(Options options);
  // Stops both loops and waits for the running tasks to end.
  ~Network() override;
  Network(const Network&) = delete;
  Network& operator=(const Network&) = delete;

  DownloadManager& dManager() { return *dManager_; }
  UploadManager& uManager() { return *uManager_; }
  // The progress reporters of the pages following each transfer list.
  CallbackThread& dCallback() { return *dCallback_; }
  CallbackThread& uCallback() { return *uCallback_; }

  // --- Life cycle -----------------------------------------------------------------
  // Starts both loops (download first), then zeroes every counter, the
  // bulk-add counter included.
  void start();
  // Tells both loops to end at their next check; running tasks go on and the
  // counters keep their values.
  void exit();
  // Starts the two once-a-second progress loops (figures and page
  // reports); nothing else refreshes the counts the loops idle on. Loops
  // already running are left alone.
  void startProgress();
  void SetDTaskMax(std::int64_t max) { dManager_->SetMax(max); }
  void SetUTaskMax(std::int64_t max) { uManager_->SetMax(max); }

  // --- Commands on records (ids are record ids) ---------------------------------
  // Back to waiting in the store only; the loops pick them up.
  void StartDownload(const std::vector<std::int64_t>& ids);
  void StartUpload(const std::vector<std::int64_t>& ids);
  void StartDownloadAll();
  void StartUploadAll();
  // Stopped in the store, then the running task is stopped.
  void StopDownload(const std::vector<std::int64_t>& ids);
  void StopUpload(const std::vector<std::int64_t>& ids);
  void StopDownloadAll() override;
  void StopUploadAll() override;
  // Task first, then the row; one "UpdateFileList" after the last id.
  void DeleteDownload(const std::vector<std::int64_t>& ids);
  // Rows first (those the sync engine did not queue), then their tasks,
  // then "UpdateFileList".
  void DeleteDownloadAll();
  // Task first, then the library's sync manager compares the path afresh,
  // then the row. No page event.
  void DeleteUpload(const std::vector<std::int64_t>& ids);
  // Each folder the user added uploads from is compared afresh, then the
  // rows go (those the sync engine did not queue), then their tasks.
  void DeleteUploadAll();

  // --- What the sync engine asks ------------------------------------------------------
  // Running tasks of the library at or under `webpath` ("" the whole
  // library) are deleted and dropped, uploads first; the store is unchanged.
  void ClearTrans(const std::string& webpath, std::int64_t mountid,
                  TransDirection which = TransDirection::Both) override;
  void RenameWebpath(std::int64_t mountid, const std::string& oldwebpath,
                     const std::string& newwebpath) override;
  void AddTransAction() override { transActions_.AddTransAction(); }
  void DelTransAction() override { transActions_.DelTransAction(); }
  // Progress to the page following the direction's list (see CallbackThread).
  void SendCallbackAction(TransDirection which, const std::string& action) override;
  void SendCallbackInfoByTransTask(TransDirection which, const TransTaskItem& task) override;
  void SendCallbackInfoByTransport(TransDirection which, const TransportItem& item) override;
  std::int64_t nTransAction() const { return transActions_.count(); }

  // --- Queries ----------------------------------------------------------------------
  // The running upload of the library with exactly that path, else such a
  // download; the empty item (nIndex 0) when neither runs. Never takes both
  // managers' locks at once.
  TransTaskItem GetTransInfo(const std::string& webpath, std::int64_t mountid);
  // Running tasks of both directions that have not ended.
  std::int64_t GetTransCount();

  // --- Counters (written by the progress threads, read by pages and timers) -------
  std::int64_t nDownloadCount() const { return nDownloadCount_.load(); }
  std::int64_t nDownloadRealCount() const { return nDownloadRealCount_.load(); }
  std::uint64_t nDownloadSpeed() const { return nDownloadSpeed_.load(); }
  std::int64_t nUploadCount() const { return nUploadCount_.load(); }
  std::uint64_t nUploadSpeed() const { return nUploadSpeed_.load(); }
  void setNDownloadCount(std::int64_t v) { nDownloadCount_ = v; }
  void setNDownloadRealCount(std::int64_t v) { nDownloadRealCount_ = v; }
  void setNDownloadSpeed(std::uint64_t v) { nDownloadSpeed_ = v; }
  void setNUploadCount(std::int64_t v) { nUploadCount_ = v; }
  void setNUploadSpeed(std::uint64_t v) { nUploadSpeed_ = v; }
  // Reads the three unfinished counts from the store, as the progress
  // threads do once a second.
  void refreshCounts();
  // What a progress loop refreshes each second: the direction's speed and
  // its unfinished counts.
  void refreshFigures(TransDirection which);

 private:
  void resetSync(std::int64_t mountid, const std::string& webpath, std::optional<bool> dir);
  void sendUpdateFileList();
  CallbackThread& progressOf(TransDirection which);

  TransPortDB& store_;
  TransActionCounter& transActions_;
  const SyncReset resetSync_;

  std::atomic<std::int64_t> nDownloadCount_{0};
  std::atomic<std::int64_t> nDownloadRealCount_{0};
  std::atomic<std::uint64_t> nDownloadSpeed_{0};
  std::atomic<std::int64_t> nUploadCount_{0};
  std::atomic<std::uint64_t> nUploadSpeed_{0};

  // Last: their loops read the counters above until they are gone.
  std::unique_ptr<DownloadManager> dManager_;
  std::unique_ptr<UploadManager> uManager_;
  // After the managers: their loops read the managers.
  std::unique_ptr<CallbackThread> dCallback_;
  std::unique_ptr<CallbackThread> uCallback_;
};

}  // namespace nb::transfer
