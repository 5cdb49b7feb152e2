#pragma once
// One download record carried from waiting to finished, failed, stopped or
// back to waiting. The task first tries to produce the file without the
// network (a copy already on this computer); otherwise it fetches byte
// ranges from several sources at once into a temporary file named after the
// content hash, keeping a range index beside it so that a later task for
// the same content resumes where this one stopped. A complete file is
// checked (size and SHA-1) before it reaches the sync engine or the save
// path.
//
// Files, in the user's transfer cache folder: "down_<hash>" (the temporary
// file, written at each byte's own position), "down_<hash>.tmp" (the range
// index), "down_<hash>_ok" (a verified copy awaiting placement) and
// "down_<hash>_error" (a complete file that failed its check). A hash that
// is not 40 lower-case hex characters never becomes part of a path.
//
// Threads: run() and the scheduling passes on the task's queue thread;
// WriteFile on the main thread (request callbacks); LAN sources arrive on
// the discovery thread through the manager; Stop and Delete from anywhere.
// Locks: the source-list lock (pLocksc) before the file lock (pFilesc),
// never the other way round.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "api/models/RetGetDownload.h"
#include "platform/UniqueFd.h"
#include "platform/WakeableSleep.h"
#include "transfer/download/DownloadPeer.h"
#include "transfer/download/DownloadServices.h"
#include "transfer/engine/DownloadTransferTask.h"

namespace nb {

class SyncManager;

class DownloadTask final : public DownloadTransferTask,
                           public DownloadSink,
                           public std::enable_shared_from_this<DownloadTask> {
 public:
  // Outcome of the shortcuts.
  static constexpr int kFetch = 0;
  static constexpr int kDealtWith = 3;
  // Seconds a postponed record waits.
  static constexpr std::uint64_t kPostpone = 60;
  // Address renewals in a row without a byte written before the task gives up.
  static constexpr int kMaxUrlRenewals = 3;

  static std::shared_ptr<DownloadTask> make(TransTaskItem item, DownloadServices services);
  // What the download manager makes its tasks with (setTaskFactory).
  static TransferTaskFactory factory(DownloadServices services);
  ~DownloadTask() override;

  // The body: shortcuts, temporary file, fetch loop, end.
  void run() override;
  void releaseSources() override { ClearPeer(); }

  // --- Shortcuts and files ------------------------------------------------------
  // 3: dealt with (finished, handed over or postponed); 0: fetch the file.
  int initDownload();
  bool CreateFile();
  std::string GetIndexFilePath() const;
  bool OpenIndexFilePath();
  void SaveIndexFilePath();
  void DeleteIndexFilePath();
  void CloseFile();
  // DownloadSink, main thread.
  bool WriteFile(const std::string& data, std::uint64_t pos) override;
  void sourceEnded() override { pass_.wake(); }
  // Checks the complete file and ends the download.
  void finish();
  // Ends the download with an error (back to waiting while offline).
  void error(std::int64_t code, const std::string& msg);

  // --- Sources and scheduling ---------------------------------------------------
  bool AddHttpPeer(const std::string& url);
  void AddUdpPeer(const std::string& url) override { AddUdpPeerWhole(url); }
  void AddUdpPeer(const std::string& url, bool bHttpStart, bool bHttpAble, std::int64_t userid,
                  const std::string& have) override {
    AddUdpPeerPartial(url, bHttpStart, bHttpAble, userid, have);
  }
  // The two announcements with their answers: true when a source was added.
  bool AddUdpPeerWhole(const std::string& url);
  bool AddUdpPeerPartial(const std::string& url, bool bHttpStart, bool bHttpAble,
                         std::int64_t userid, const std::string& have);
  // Stops every source and empties the list; the sources are let go on the
  // main thread, where their callbacks run.
  void ClearPeer();
  // One scheduling pass; true when it started at least one request.
  bool GetRunPeer();
  // Whether some server source points to internal storage (its address
  // holds none of the deployment's storage domain suffixes).
  bool checkUrlsIsCache();

  bool bHttpAble() const override { return bHttpAble_.load(); }
  bool bHttpStart() const override { return bHttpStart_.load(); }
  bool bResetUrl() const { return bResetUrl_.load(); }
  bool bBadPeer() const { return bBadPeer_.load(); }
  std::string haveRanges() const override;
  // Copies of the sources, in list order.
  std::vector<std::shared_ptr<DownloadPeer>> downloadPeers() const;

 private:
  DownloadTask(TransTaskItem item, DownloadServices services);

  // --- shortcuts (DownloadTaskShortcuts.cpp) ---
  struct Row;
  Row syncRow(const std::shared_ptr<SyncManager>& manager, const TransTaskItem& item) const;
  int folderShortcut(const std::shared_ptr<SyncManager>& manager, const TransTaskItem& item);
  int emptyFileShortcut(const std::shared_ptr<SyncManager>& manager, const TransTaskItem& item,
                        const Row& row);
  int uploadRecordShortcut(const std::shared_ptr<SyncManager>& manager, const TransTaskItem& item,
                           bool& used);
  int cacheShortcut(const std::shared_ptr<SyncManager>& manager, const TransTaskItem& item,
                    const Row& row, bool& used);
  int localFileShortcut(const std::shared_ptr<SyncManager>& manager, const TransTaskItem& item,
                        const Row& row, bool& used);
  int okFileShortcut(const std::shared_ptr<SyncManager>& manager, const TransTaskItem& item,
                     const Row& row);
  int completeCopy(const std::shared_ptr<SyncManager>& manager, const TransTaskItem& item,
                   const Row& row, bool countBytes);
  int handOver(const std::shared_ptr<SyncManager>& manager, const TransTaskItem& item);
  int postpone();

  // --- sources (DownloadTaskSources.cpp) ---
  struct PassCount;
  std::shared_ptr<DownloadPeer> newPeer(const std::string& url, const std::string& have, bool udp);
  // Caller holds pLocksc.
  std::shared_ptr<DownloadPeer> findPeerLocked(const std::string& url);
  // False when the task was stopped during the walk.
  bool firstWalkLocked(DataLocator& needed, PassCount& count,
                       std::vector<std::shared_ptr<DownloadPeer>>& candidates);
  bool endPass(const PassCount& count, bool started);

  // --- body (DownloadTask.cpp) ---
  enum class Fetch { kEnded, kRenewUrls };
  bool fetchUrls();
  Fetch fetchLoop();
  void endTask();
  void queueLanQuery();
  // The pause between scheduling passes; a source that ends cuts it short.
  bool sleepTenth();

  // --- files (DownloadTaskFiles.cpp) ---
  // Under pFilesc.
  void saveIndexLocked();
  // The first of finish/error to come ends the task: stops it and closes the
  // files. False when it had already ended (or was stopped).
  bool endOnce();
  void finishWithoutManager(const TransTaskItem& item);
  void keepVerified(const TransTaskItem& item);
  void report();

  std::string okPath(const std::string& filehash) const;

  const DownloadServices services_;

  std::atomic<std::uint64_t> ullWriteTime_{0};
  std::atomic<bool> bHttpStart_{false};
  std::atomic<bool> bHttpAble_{true};
  std::atomic<bool> bResetUrl_{false};
  std::atomic<bool> bBadPeer_{false};
  std::uint64_t lastLanQuery_ = 0;  // the task's thread only; monotonic seconds
  int renewalsWithoutData_ = 0;     // the task's thread only
  std::atomic<std::uint64_t> bytesWritten_{0};  // by WriteFile, for the renewal limit
  platform::WakeableSleep pass_;  // the fetch loop's pause between passes

  // guarded by pFilesc
  std::optional<platform::UniqueFd> pFileHandle_;
  std::optional<platform::UniqueFd> pFileIndexHandle_;
};

}  // namespace nb
