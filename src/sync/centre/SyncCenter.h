#pragma once
// The process-wide coordinator of the sync engine: the registry of sync
// managers (one per library of the signed-in user), the folder watchers
// they share, the compare queue, the session's message store, the delay
// list of file kinds, and one coordinator thread per signed-in session.
//
// Every member is safe from any thread. The registry and the watcher list
// share one mutex that is never held while a manager or watcher is called:
// walks go over copies. setinit and exit never wait for a coordinator, so
// the main thread never waits for a thread that may be waiting for it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "api/models/MountItem.h"
#include "platform/OperationQueue.h"
#include "stores/catalogue/DelaySyncFile.h"
#include "stores/messages/MessageDb.h"

namespace nb {

namespace platform {
class StoppableThread;
}

class SyncManager;
class Directoryhandler;
class CoordinatorLoop;
class CentrePasses;

class SyncCenter {
 public:
  // Width of the compare queue: at most three libraries compare at once.
  static constexpr int kCompareQueueWidth = 3;
  // The content cache's budget after a trim.
  static constexpr int64_t kCacheBudget = 1'073'741'824;

  // Made at first use, kept for the life of the process.
  static SyncCenter& shareSyncCenter();
  ~SyncCenter();

  // --- Session ----------------------------------------------------------------
  // Session start: resets the session flags, opens the message store on the
  // session's getMessageDb (or `messageDbPath`), keyed for the shared
  // session's computer and user (a file that cannot be opened leaves no
  // store and logs an error), and starts a coordinator
  // thread, which first waits for the previous session's coordinator to
  // end. Without `coordinatorThread` no thread runs and the caller drives
  // the passes with coordinatorPass() (tests, tools).
  void setinit();
  void setinit(const std::string& messageDbPath, bool coordinatorThread = true);

  // Session end: asks the coordinator to stop (without waiting for it),
  // exits every manager and empties the registry, stops every watcher and
  // empties the watcher list, then closes the message store. Its queue
  // refuses to reopen the file afterwards: a later job from a holder of the
  // old store would reopen the keyed file without its key.
  void exit();

  // One coordinator pass on the caller's thread, for a session started
  // without its thread (the first call also does the loop's preparation).
  // False when there is no such session or the pass ended the loop.
  bool coordinatorPass();

  // Waits until the coordinator thread of the current or last session has
  // ended (after exit). Only for tests and tools: never call it on a thread
  // a coordinator may be waiting for, such as a program's main thread.
  void joinCoordinator();

  // --- Registry ----------------------------------------------------------------
  // The first manager of the library / of the organisation; null when none.
  std::shared_ptr<SyncManager> GetSyncManager(int64_t mountId) const;
  std::shared_ptr<SyncManager> GetSyncManagerByOrgid(int64_t orgId) const;
  // The first manager of the library exits and leaves the registry.
  void RemoveSyncManager(int64_t mountId);
  // A copy of the registry in creation order.
  std::vector<std::shared_ptr<SyncManager>> synclist() const;

  // --- Catalogue ----------------------------------------------------------------
  // `stop` is the stop token of the coordinator running the call (none for
  // page calls): once it is requested, or bOut is set, the session is over
  // and nothing more is registered or removed for it.
  //
  // Creates a manager for the library, appends it and starts it; does
  // nothing when the library already has one or the session is over.
  // Creations run one at a time, so a refresh and a page racing on one new
  // library make one manager. Always true.
  bool createmount(const MountItem& mount, const std::stop_token& stop = {});
  // Managers for every stored library that has none (others re-read their
  // name and permissions). 1 when no library is stored, else 0; ends the
  // first refresh and sets bInit.
  int loadmounts(const std::stop_token& stop = {});
  // The catalogue refresh: enterprises, then libraries (also after a failed
  // enterprise step). -1 when the session ended during it, else as
  // resetMounts.
  int getDataFromServer(const std::stop_token& stop = {});
  // Enterprises from the web API into the catalogue, with their page events
  // and then the template refresh. 1 when the list was not fetched or is
  // empty, -1 when the session ended, else 0.
  int resetEnts(const std::stop_token& stop = {});
  // Libraries from the web API into the catalogue: a library no longer
  // listed loses its manager, rows, transfers and folder; page events and
  // "gCompareNotifyReset" unless this is the session's first refresh. Falls
  // back to loadmounts when the list was not fetched. Result of loadmounts,
  // or -1 when the session ended.
  int resetMounts(const std::stop_token& stop = {});
  // Removes the library of an organisation (page function gNotice); an
  // organisation with no stored library changes nothing. Always true.
  bool removemount(int64_t orgId);
  // Deletes the library's folder in the user folder, for good, but only
  // inside the configuration folder.
  void deleteSyncDbByMountid(int64_t mountId);

  // Fetches the templates of the enterprises named by an id text such as
  // "12,40,0". Registered by the layer that keeps the templates; until then
  // getentstemplate logs an error and fetches nothing.
  using EntsTemplateRefresh = std::function<void(const std::string& entIds)>;
  void setEntsTemplateRefresh(EntsTemplateRefresh refresh);
  void getentstemplate(const std::string& entIds);
  // Reloads the favourite files from the server; a failed request keeps
  // the stored ones.
  void resetFavorites();

  // --- Watchers ------------------------------------------------------------------
  // Serves `manager` from the watcher of `folder` (one per distinct root,
  // exact text of the root with one trailing "/"), made when missing.
  void startWatch(const std::string& folder, std::shared_ptr<SyncManager> manager);
  // Lets `manager` go from that watcher; a watcher left without managers
  // stops and leaves the list.
  void stopWatch(const std::string& folder, const std::shared_ptr<SyncManager>& manager);
  std::vector<std::shared_ptr<Directoryhandler>> handlerlist() const;
  // Before every compare cycle: each watcher that still lacks a folder's
  // watch (a watch limit) tries again or asks its managers for a rescan.
  void checkWatches();

  // --- Services (sync/centre/SyncCenterServices) -------------------------------------
  // The local path of a synced copy with that content hash whose file still
  // has the size and time of its row; "" when no library has one.
  std::string get_local_hash(const std::string& filehash) const;
  // Locks on the server the file opened for editing at `fullpath`.
  void lockPath(const std::string& fullpath);
  // Zips the stores into the user folder and queues the zip's upload.
  void zipdb();
  // The same zip in `folder`, not uploaded; false when zipping failed.
  bool zipsyncdb(const std::string& folder);
  // resetall on every manager in registry order (the ignore list changed).
  void resetsync();
  // False, with the clashing folder in `linkpath`, at the first manager
  // whose linked folders the local folder equals, lies in or holds.
  bool check_dir_legecy(const std::string& path, std::string& linkpath) const;
  // {"list":[...]}: every manager's link summaries in registry order.
  std::string getlinkpathjson() const;
  void StartSync();
  void StopSync();
  std::string getsynctranscachepath();

  // --- Compare cycles --------------------------------------------------------------
  // Queues one comparison pass for every manager that has none queued or
  // running.
  void compareproc();
  // Restarts every manager's compare gating, then asks for a cycle.
  void resetcomparenow();
  // A compare notice relayed by a page: {"type":"compare","mount_ids":[..]}
  // counts a notice on each named library and asks for a cycle; anything
  // else (not an object, another type, no or an empty id list) changes
  // nothing.
  void comparenotify(const std::string& json);
  platform::OperationQueue& taskqueue() { return taskqueue_; }

  // --- Message store, delay list ------------------------------------------------------
  // The message store of the current session; nullptr between sessions.
  std::shared_ptr<MessageDb> messagedb() const;
  DelaySyncFile& delaySyncFile() { return delaySyncFile_; }

  // --- Flags ------------------------------------------------------------------------
  bool bOut() const { return bOut_; }
  // The libraries were loaded in this session; transfers wait until then.
  bool bInit() const { return bInit_; }
  // From setinit until the first catalogue refresh of the session is done.
  bool bFirst() const { return bFirst_; }
  bool bCompareNow() const { return bCompareNow_; }
  void setBCompareNow(bool on) { bCompareNow_ = on; }
  bool bRegetServer() const { return bRegetServer_; }
  void setBRegetServer(bool on) { bRegetServer_ = on; }
  // The pages' push channel is up; kept across sessions.
  bool bSocketIO() const { return bSocketIO_; }
  void setBSocketIO(bool on) { bSocketIO_ = on; }
  void setBFirst(bool on) { bFirst_ = on; }
  void setBInit(bool on) { bInit_ = on; }

  // The web path of the last rename a page asked for.
  std::string strOldRename() const;
  void setStrOldRename(std::string path);

 private:
  // One session's coordinator: its loop, its steps and, when it has one,
  // its thread.
  struct Coordinator;

  SyncCenter();
  bool sessionEnded(const std::stop_token& stop) const;
  // The steps of resetMounts for a library the server no longer lists.
  void removeLibrary(int64_t mountId);
  std::shared_ptr<Coordinator> startCoordinator(bool thread);

  std::atomic<bool> bOut_{false};
  std::atomic<bool> bInit_{false};
  std::atomic<bool> bFirst_{false};
  std::atomic<bool> bCompareNow_{false};
  std::atomic<bool> bRegetServer_{false};
  std::atomic<bool> bSocketIO_{false};
  DelaySyncFile delaySyncFile_;
  platform::OperationQueue taskqueue_{kCompareQueueWidth};

  mutable std::mutex mutex_;
  // Held across a whole createmount: the check for an existing manager and
  // the append see one registry. Taken before mutex_, never under it.
  std::mutex createLock_;
  EntsTemplateRefresh entsTemplateRefresh_;                // guarded by mutex_
  std::shared_ptr<MessageDb> messagedb_;                   // guarded by mutex_
  std::vector<std::shared_ptr<SyncManager>> synclist_;     // guarded by mutex_
  std::vector<std::shared_ptr<Directoryhandler>> handlerlist_;  // guarded by mutex_
  std::string strOldRename_;                               // guarded by mutex_
  std::shared_ptr<Coordinator> coordinator_;               // guarded by mutex_
  // Stopped coordinators no thread of a later session waits for (that
  // session runs without a thread); joined by joinCoordinator or at the end.
  std::vector<std::shared_ptr<Coordinator>> retired_;      // guarded by mutex_
};

}  // namespace nb
