#pragma once
// The process-wide sync centre. This is the part the stores and the session
// rely on: the session's message store, the session start and stop, and
// the delay list of file kinds. The sync engine adds its sync managers and
// coordinator thread here.
//
// Every member is safe from any thread.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "foundation/sqlite/MySqlite.h"
#include "stores/catalogue/DelaySyncFile.h"

namespace nb {

// The session's message store (a MySqlite with a cipher key). Only its
// users need the full type; the centre holds it as its store base.
class MessageDb;

class SyncCenter {
 public:
  // Made at first use, kept for the life of the process.
  static SyncCenter& shareSyncCenter();

  // Opens a message store on a path (initpath); nullptr when it cannot be
  // opened. Registered at start-up by the layer that knows the store.
  using MessageStoreOpener = std::function<std::shared_ptr<MySqlite>(const std::string& path)>;
  void setMessageStoreOpener(MessageStoreOpener opener);
  bool hasMessageStoreOpener() const;

  // Session start, before the coordinator runs: opens the message store on
  // the session's getMessageDb (or `messageDbPath`) and keeps it as
  // messagedb; clears the stop flag.
  void setinit();
  void setinit(const std::string& messageDbPath);

  // Session end: sets the stop flag, clears the initialised flag, then
  // closes the message store and forgets it. Its queue refuses to reopen
  // the file afterwards: a later job from a holder of the old store would
  // reopen the keyed file without its key.
  void exit();

  // The message store of the current session; nullptr between sessions.
  // Db must be the store's class (MessageDb derives from MySqlite).
  template <typename Db = MessageDb>
  std::shared_ptr<Db> messagedb() const {
    return std::static_pointer_cast<Db>(messageStore());
  }
  std::shared_ptr<MySqlite> messageStore() const;

  DelaySyncFile& delaySyncFile() { return delaySyncFile_; }

  bool bOut() const { return bOut_; }
  bool bInit() const { return bInit_; }

 private:
  SyncCenter() = default;

  std::atomic<bool> bOut_{false};
  std::atomic<bool> bInit_{false};
  DelaySyncFile delaySyncFile_;

  mutable std::mutex mutex_;
  MessageStoreOpener opener_;               // guarded by mutex_
  std::shared_ptr<MySqlite> messagedb_;     // guarded by mutex_
};

}  // namespace nb
