#pragma once
// One upload record from its start by the upload dispatch loop to its end:
// whether it may run now (library present, account not full, file still
// there, delay rule), a private snapshot of small files so that later edits
// cannot tear the upload, folders created directly, the content hashed and
// registered with create-file (which completes at once when the server
// already holds the content), and otherwise a storage-server session over
// the saved server, the cache servers and the servers, in that order. The
// outcome goes to the library's sync manager, or, without one, into the
// transfer store and the content cache directly.
//
// Runs on one thread of the upload queue; Stop and Delete arrive as flags
// (TransferTask). Finish and Error do nothing once the task is stopped, so a
// task stopped at the last moment leaves its record as the command stored it.

#include <cstdint>
#include <memory>
#include <string>

#include "transfer/engine/TransferTask.h"
#include "transfer/upload/UploadEnvironment.h"

namespace nb {

class RetCreateFile;
class SyncManager;

class UploadTask final : public TransferTask {
 public:
  // Files this size or larger are read in place, smaller ones from a copy.
  static constexpr std::uint64_t kSnapshotLimit = 102'400'000;
  static constexpr std::uint64_t kPostpone = 60;         // seconds
  static constexpr double kSpaceMaxHoldOff = 600;        // seconds
  // A delay rule's time is held at most this far ahead: the store hands out
  // a record whose time lies further ahead at once.
  static constexpr std::uint64_t kLongestHold = 599;     // seconds

  UploadTask(TransTaskItem item, UploadEnvironment environment = {});

  // The whole upload; the item ends with kTransEnded.
  void run() override;

  // 0: go on with the upload; 3: the record was dealt with here (postponed,
  // dropped, finished or failed) and the task ends.
  int initUpload();
  void Finish();
  void Error(std::int64_t error, const std::string& errormsg);

  // The snapshot of a record: "<transfer cache>/upload_<sha1 of
  // "<mountid>-<webpath>-<last>">".
  static std::string snapshotPath(const TransTaskItem& item);

 private:
  struct Times {
    std::uint64_t create = 0;
    std::uint64_t last = 0;
  };

  void body();
  Times chooseFile(SyncManager* manager);
  int createFolder(SyncManager& manager, const Times& times);
  int createByHash(SyncManager& manager, const Times& times);
  int delayRule(SyncManager& manager);
  bool hashContent();
  void createAndSend();
  void sendThroughServers(const RetCreateFile& ret);
  void onCreateFailed(const RetCreateFile& ret);

  void postpone();
  void drop(SyncManager& manager);
  void flagSpaceMax(SyncManager& manager, const std::string& message);
  void finishWithoutManager(const TransTaskItem& done);
  std::shared_ptr<SyncManager> manager() const;

  const UploadEnvironment environment_;
  // The creation and modification time sent with create-file.
  Times times_;
};

}  // namespace nb
