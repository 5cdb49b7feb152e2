#pragma once
// The process-wide sync centre. This is the part the stores and the session
// rely on: the session's message store, the session start and stop, and
// the delay list of file kinds. The sync engine adds its sync managers and
// coordinator thread here.
//
// Every member is safe from any thread.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "stores/catalogue/DelaySyncFile.h"
#include "stores/messages/MessageDb.h"

namespace nb {

class SyncCenter {
 public:
  // Made at first use, kept for the life of the process.
  static SyncCenter& shareSyncCenter();

  // Session start, before the coordinator runs: opens the message store on
  // the session's getMessageDb (or `messageDbPath`), keyed for the shared
  // session's computer and user, and keeps it as messagedb; clears the stop
  // flag. A file that cannot be opened leaves no store and logs an error.
  void setinit();
  void setinit(const std::string& messageDbPath);

  // Session end: sets the stop flag, clears the initialised flag, then
  // closes the message store and forgets it. Its queue refuses to reopen
  // the file afterwards: a later job from a holder of the old store would
  // reopen the keyed file without its key.
  void exit();

  // The message store of the current session; nullptr between sessions.
  std::shared_ptr<MessageDb> messagedb() const;

  DelaySyncFile& delaySyncFile() { return delaySyncFile_; }

  bool bOut() const { return bOut_; }
  bool bInit() const { return bInit_; }

 private:
  SyncCenter() = default;

  std::atomic<bool> bOut_{false};
  std::atomic<bool> bInit_{false};
  DelaySyncFile delaySyncFile_;

  mutable std::mutex mutex_;
  std::shared_ptr<MessageDb> messagedb_;  // guarded by mutex_
};

}  // namespace nb
