#pragma once
// The sync engine of one library: its sync store, the lists that steer its
// decisions, its locks, and the flags and counters that decide when its
// next comparison pass pulls the server's change feed.
//
// Made by the sync centre for each library of the signed-in user and kept
// in its registry until the library goes or the user signs out; folder
// watchers and queued comparison passes hold it too while they exist.
// Every flag and counter is atomic and safe from any thread; the lists
// carry their own locks. controllock serialises the manager's event
// handling, server-item application, commit, rename retries and download
// placement; it is not recursive, and the main thread never takes it.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "api/models/CompareItem.h"
#include "api/models/MountItem.h"
#include "api/models/TransTaskItem.h"
#include "foundation/app/BaseWebWindowController.h"
#include "foundation/app/PageEvent.h"
#include "foundation/json/JsonValue.h"
#include "stores/syncdb/SyncFileItem.h"
#include "stores/syncdb/SyncVersion.h"
#include "stores/syncdb/Syncdb.h"
#include "stores/transfer/MoveItem.h"
#include "sync/centre/MarkGetFileList.h"
#include "sync/links/CacheFolder.h"
#include "sync/links/LinkFolder.h"
#include "sync/local/CopyList.h"
#include "sync/local/LocalEventTarget.h"
#include "sync/local/MoveLists.h"
#include "sync/local/RecentEvents.h"
#include "sync/server/OverWrite.h"

namespace nb {

class SyncCenter;

class SyncManager : public LocalEventTarget, public std::enable_shared_from_this<SyncManager> {
 public:
  // The cap, in seconds, of the wait the compare gating puts between pulls.
  static constexpr double kMaxCompareWait = 600.0;
  // Seconds of gating wait per notice counted at the last pull.
  static constexpr double kCompareWaitPerNotice = 20.0;

  // Creation: opens the library's store, fills the lists from it, watches
  // the linked folders that exist (through `center`) and unlinks those that
  // are gone. The manager is not started. Runs on the caller's thread
  // (the coordinator or the page-call queue).
  static std::shared_ptr<SyncManager> initwithmount(const MountItem& mount, SyncCenter& center);
  // Destruction sets bOut first, so a long loop still running on another
  // holder's thread returns early.
  ~SyncManager();
  SyncManager(const SyncManager&) = delete;
  SyncManager& operator=(const SyncManager&) = delete;

  // --- Life cycle -------------------------------------------------------------
  // bStart YES, bScaned NO, startCanCompare, InitTrans, in this order.
  void start();
  void stop() { bStart_ = false; }
  void exit() { bOut_ = true; }
  // Queues the transfers of every row still waiting for one (statuses 1, 2
  // and 8), then tells both transfer lists of the pages to reload.
  void InitTrans();

  // Retries the deferred renames, then the deferred moves, each entry once
  // with push NO; an entry leaves when its call settles it, or when its new
  // path is gone, ignored or outside the linked folders (it never could).
  // The caller holds controllock.
  void check_rename_and_remove();

  // --- Compare gating -----------------------------------------------------------
  // True when no notice had been counted at the last reset, else only
  // strictly after ftCompareDoneTime + min(600, 20 n) seconds.
  bool checkCanCompare() const;
  // A compare notice named the library.
  void setCanCompare();
  // After a successful pull while the push channel is up.
  void resetCanCompare();
  // The next pass pulls at once.
  void startCanCompare();

  // --- controllock (BasicLockable, for std::lock_guard / std::unique_lock) -------
  // The holder's thread is noted, so that a scan reached from an event
  // handler runs inside the handler's hold instead of waiting on itself.
  void lock() override {
    controllock_.lock();
    controlOwner_ = std::this_thread::get_id();
  }
  void unlock() override {
    controlOwner_ = std::thread::id();
    controllock_.unlock();
  }
  bool try_lock() {
    if (!controllock_.try_lock()) return false;
    controlOwner_ = std::this_thread::get_id();
    return true;
  }
  // True when the calling thread holds controllock.
  bool holdsControllock() const { return controlOwner_.load() == std::this_thread::get_id(); }

  // --- Local events (sync/local/SyncManagerEvents.cpp) -------------------------
  // The five handlers of one local change; the caller holds controllock.
  bool eventadd(const std::string& path) override;
  bool eventdel(const std::string& path) override;
  bool eventupdate(const std::string& path) override;
  bool eventrename(const std::string& path, const std::string& newpath, bool push) override;
  bool eventremove(const std::string& path, const std::string& newpath, bool push) override;
  // File events were lost: bScaned NO, startCanCompare, and the centre's
  // bCompareNow, so the next pass rescans the linked folders.
  void requestFullRescan() override;

  // --- Recent-event lists -----------------------------------------------------------
  // The engine wrote a local file (copy list, kept >= 31 s and until a commit).
  void set_add_filelistinfo(const std::string& webpath, uint64_t filesize, uint64_t lasttime);
  // The item is the echo of the engine's own write.
  bool isOwnWrite(const std::string& webpath, uint64_t filesize, uint64_t lasttime);
  // The item at `webpath` is the user's from now on, as written.
  void forgetOwnWrite(const std::string& webpath);
  // At every commit: drops the old copy-list entries.
  void check_and_clear_copylist();
  // The engine reset a local file's times: its copy-list entry, if any,
  // follows so that the echo of that write is still recognised.
  void update_copylist_lasttime(const std::string& webpath, uint64_t lasttime);
  // A rename or move of exactly this local path is still pending.
  bool check_movelist(const std::string& path);
  // A copy of the pending renames and moves (for tests and diagnostics).
  MoveLists movelists() {
    std::lock_guard lock(listsMutex_);
    return movelists_;
  }

  // --- Transfer submission --------------------------------------------------------
  // Queues a waiting upload record of the row from `fullpath` (may be empty:
  // the file is then made on the server from its content hash alone).
  // True when the transfer store accepted it.
  bool Add_Upload(const SyncFileItem& item, const std::string& fullpath, bool sync,
                  const std::string& parent);
  // The form the opened-files watcher uses: a local file gets an empty
  // content hash (the transfer engine hashes it), and `open` marks the
  // record as an edit of an opened file whatever else was chosen.
  bool Add_Upload(const SyncFileItem& item, const std::string& fullpath, bool sync,
                  const std::string& parent, bool open);
  // Queues a waiting download record of the row to `fullpath`.
  void ADD_Download(const SyncFileItem& item, const std::string& fullpath, bool sync,
                    int64_t expand);
  // Queues a plain download of the row at `webpath` (and, for a folder, of
  // every row under it) to the local target `fullpath`. Paths that would
  // leave the target are refused.
  void gSaveAs(const std::string& webpath, const std::string& fullpath);

  // --- Page file-info events (sync/operations/FileInfoEvents) ----------------------
  // The page form of the row. A live transfer of the path overrides the row
  // object's status (upload 1, download 2); the store is not changed.
  JsonValue SyncFileItemToDictionary(SyncFileItem& item, int64_t parentlink = 0);
  // "UpdateFileInfo" (the row's form plus "mount_id") to every window with
  // `all`, else to the windows showing the row's folder.
  void SendUpdateFileInfo(SyncFileItem& item, bool all);
  void SendUpdateFileInfoByWebpath(const std::string& webpath);
  void SendUpdateFileInfoByUuidHash(const std::string& uuidhash);
  void update_sync_item(SyncFileItem& item);

  // --- Transfer completions (sync/operations/TransferCompletions) --------------------
  // Called by the transfer engine on its task threads. DownloadFinish takes
  // controllock (through finishdownload); DownloadFinishOutFile never does,
  // as the engine may hold it. The sync-upload check and commit of
  // UploadFinish run under controllock.
  void DownloadFinish(const TransTaskItem& task);
  void DownloadFinishOutFile(const TransTaskItem& task);
  void UploadFinish(const TransTaskItem& task);
  void UploadFinishOutFile(const TransTaskItem& task);
  void UploadError(const TransTaskItem& task, int64_t error, const std::string& errormsg);
  void DownloadError(const TransTaskItem& task, int64_t error, const std::string& errormsg);

  // --- Paths --------------------------------------------------------------------
  // The local path of a web path through the linked folders; "" outside.
  std::string getnormalpath(const std::string& webpath) const {
    return linkfolder_.normalPathByWebPath(webpath);
  }
  // The web path of a local path through the linked folders; "" outside.
  std::string getrelativepath(const std::string& fullpath) const {
    return linkfolder_.relativeRathByFullPath(fullpath);
  }
  // The local folder to propose when the user links `webpath`: its last
  // linked folder, else the default sync folder, library name and path.
  std::string gGetNormalSyncPath(const std::string& webpath);
  // The page answer "0"/"1" of gCheckEmpty (see links::gCheckEmpty).
  std::string gCheckEmpty(const std::string& webpath, bool dir) const;
  // The library's folder in the user folder (created) and its store path.
  static std::string getsyncdbpath(int64_t mountId);
  // The same folder (created) and "<folder>/cache".
  std::string getsynctranscachepath() const;

  // Reads the library's name and permission bits from the catalogue; when
  // the bits grant neither writing nor uploading, every backup link is
  // unlinked (its folder stays) and its path read afresh.
  void setpermisson();

  // --- Server locks and permission walks (sync/locks) ------------------------------
  // Locks (status != 0) or unlocks the file or folder (dir == 1) on the
  // server and records it; answers a status answer as JSON text.
  std::string setfilestatus(const std::string& webpath, int64_t dir, int64_t status);
  // Every file under the folder 0644 / 0444; links are neither followed nor
  // changed, folders keep their permissions.
  void setallfilewrite(const std::string& folder);
  void setallfileread(const std::string& folder);
  // The user looked at the library's changes: the unseen count goes to 0.
  void setvisitupdatedateline(uint64_t dateline);

  // --- Folder rows and first listing (sync/operations) -----------------------------
  // The parent row id of a web path: 0 at the top level, -1 when a missing
  // parent folder row could not be stored (missing ones are made top-down).
  int64_t getFileUpID(const std::string& webpath);
  // A server-only folder row for the web path, stored unless its own parent
  // id is -1 (then nID stays -1).
  SyncFileItem createNewFolder(const std::string& webpath);
  // Replaces the folder's direct children in the store by the server's list.
  void firstCompareFileList(const std::string& webpath, bool check);

  // --- New file or folder from a page (sync/operations) ----------------------------
  // `templ` is a template file name in the template folder ("" for none).
  std::string gNewFile(const std::string& webpath, int64_t dir, const std::string& property,
                       const std::string& templ);

  // --- Server change feed and server items (sync/server) ----------------------------
  // Window controllers showing a folder an applied entry touched; the caller
  // sends them "UpdateFileList" once it has released controllock.
  using ViewList = std::vector<std::shared_ptr<BaseWebWindowController>>;
  // One regular pull over every stored cursor; false offline or on failure.
  bool receive_from_server();
  bool receive_server_version(const std::vector<SyncVersion>& versions, bool bChange,
                              bool bSyncNow);
  // Works the list of paths marked for immediate re-sync. Takes controllock
  // itself: never call it while holding it.
  void comparenow();
  // Applies a page of entries, taking controllock around each one.
  bool receive_datas(const std::vector<CompareItem>& items, ViewList* views, bool comparenow);
  // The appliers below expect controllock held by the caller.
  void receive_del(const CompareItem& item, ViewList* views);
  void receive_reset(const CompareItem& item);
  // Re-reads one path from the server at once. Takes controllock itself per
  // applied entry: a holder of controllock defers its calls until it releases it.
  void compare_now(const std::string& webpath, bool dir, const std::string& property);

  // --- Server add and update decision, comparison, local effects, commit -------------
  // Expects controllock held. Empty when the entry was skipped.
  std::optional<SyncFileItem> receive_add(const CompareItem& item, ViewList* views,
                                          bool checkhotfile, bool comparenow);
  void compare_data(SyncFileItem& row, const CompareItem& item, bool comparenow);
  // True when the local item at `fullpath` matches the row (or was settled).
  bool compare_file(const std::string& fullpath, SyncFileItem& row, bool bCheck,
                    bool bNeedOverwrite);
  // True when nothing is to be uploaded.
  bool compare_modify(const std::string& fullpath, SyncFileItem& row);
  // Places a finished download from `temppath`; true when the record needs
  // nothing more. Takes controllock itself.
  bool finishdownload(const TransTaskItem& record, const std::string& temppath);
  // Expect controllock held. The server re-read that apply_delfile asks for
  // an ignored path runs at the end of the commit, after the lock is released.
  void apply_delfile(const SyncFileItem& row);
  void apply_deldir(const SyncFileItem& row);
  void update_parenttime(const std::string& webpath);
  // Takes controllock; pushes local deletions, removes the local copies of
  // server deletions and ages the copy list. The server re-reads that these
  // steps ask for run after the lock is released.
  void commit();
  // The deletion pass of commit; the caller holds controllock.
  void check_syncdb_delete();
  // Marks a path for a fresh comparison with the server. Takes no lock.
  void reset_sync(const std::string& webpath, bool dir, bool overwrite);
  // reset_sync of every linked folder, then a full rescan.
  void resetall();

  // --- Library and entry permissions ----------------------------------------------------
  // Verdicts: 1 allowed, 2 refused, 0 undecided (no "permisson" list). The
  // bits' "file_sync" allows all. Read takes the bits; the others use
  // nPermissions.
  static int64_t checkFilePropertyForRead(const std::string& property, int64_t permission);
  int64_t checkFilePropertyForWrite(const std::string& property) const;
  int64_t checkFilePropertyForUpload(const std::string& property) const;
  int64_t checkFilePropertyForDelete(const std::string& property) const;
  // False when the folder ("" the library) or any folder below it refuses
  // reading by its own property; the library's read bit is not asked.
  bool checkCanDownloadForFolder(const std::string& webpath);
  // The signed-in user's effective right at a web path: the library's
  // "file_sync" grants all; else the nearest row (the path, then its
  // folders) whose property lists "permisson" decides; else the library bit.
  bool getFilePropertyForRead(const std::string& webpath);
  bool getFilePropertyForWrite(const std::string& webpath);
  bool getFilePropertyForUpload(const std::string& webpath);
  bool getFilePropertyForDelete(const std::string& webpath);
  // Makes the local copies under the web path writable or read-only: files
  // take `write`, each folder below its own write right; folders keep their
  // own flags and symbolic links are left alone.
  void setNormalFilePropertyLower(const std::string& webpath, bool write);

  // --- Local tree scan (sync/local) ---------------------------------------------------
  // Records every new, changed or re-appeared item below the local folder
  // (rows to 1, uploads queued), pausing now and then. Runs inside the
  // caller's hold of controllock when it has one, else takes it per entry.
  void scandir(const std::string& dir);
  // Marks rows whose local items are gone under every linked folder; a
  // linked folder found empty or missing while rows under it are in sync
  // (an unmounted disk) is left alone. Takes controllock per row; never call
  // it while holding it.
  void scandel();
  void mark_file_delete(const std::string& webpath);

  // --- Linking and unlinking (sync/links) ----------------------------------------------
  // Scans every linked local folder, or the local side of one web path.
  void scanlink();
  void scanlink(const std::string& webpath);
  // Links the web path ("" the whole library) to the local folder
  // `fullpath` (made when missing) as a backup (1) or sync (2) link: a
  // folder row when the library has none, the link stored, a fresh sync of
  // the path (on the overwrite list with bOverWrite), the cache-mode
  // folders inside it switched off with their copies kept in the general
  // content cache, the folder watched and put in the favourites. Callers
  // run check_Link and check_dir_legecy first. An unsafe web path changes
  // nothing. Always true.
  bool add_link(const std::string& webpath, const std::string& fullpath, bool bOverWrite,
                int64_t type);
  // Unlinks the folder linked at exactly `webpath` (compared lower-cased):
  // favourite, watch, stored link and unfinished transfers go, the path is
  // read afresh. Nothing on disk is deleted.
  void remove_link(const std::string& webpath);
  // This manager stops being served by the watcher of the local folder.
  void removelink(const std::string& fullpath);
  // Whether a link or cache-mode folder of `type` (0 any, 1 backup, 2 sync,
  // 3 cache) may be set at the web path: status answer 0, or 10011 naming
  // the overlapping folder and its kind.
  std::string check_Link(const std::string& webpath, int64_t type);
  // False, with the clashing link's local folder in `linkpath`, when the
  // local folder equals, lies in or holds a linked folder (letter case
  // ignored); "" is always accepted (with `linkpath` emptied).
  bool check_dir_legecy(const std::string& path, std::string& linkpath) const;
  // One summary object per link, appended to `list` in link order.
  void getlinkpathjson(std::vector<JsonValue>& list);

  // --- Cache-mode folders (sync/links) ---------------------------------------------------
  // status != 0 switches the folder into cache mode (a new content
  // directory taking in the copies of those at or below it), 0 switches it
  // out (content directories, transfers and transfer records at or below it
  // gone). The manager is stopped meanwhile. Always true.
  bool set_cache(const std::string& webpath, int64_t status);
  // Copies every file below the local folder that still has the size and
  // time of its row into the general content cache, before the folder is
  // deleted. Symbolic links are not followed; nothing in the folder changes.
  void movetocache(const std::string& folder);

  // --- Folders being added from the computer (sync/operations/AddingFolders) ------------
  // Entries are kept lower-cased under adlock; none of these calls out.
  // Appends (webpath, adding) unless the same path is listed.
  void addadlist(const std::string& webpath);
  // Removes the first entry of the path.
  void deladlist(const std::string& webpath);
  // Whether the path's add is still to be waited for: an entry whose stop
  // was asked more than 30 s ago is removed and answers false.
  bool checkadlist(const std::string& webpath);
  // Whether the add of a folder holding the path goes on: false when the
  // first entry holding it was asked to stop, or when none holds it.
  bool checksubadlist(const std::string& webpath);
  // Asks the add of the path to stop; the time of the first request stays.
  void updateadlist(const std::string& webpath);

  // --- Adding local items from a page (sync/operations/AddFiles) ------------------------
  // Registers each item (frompath local, topath the destination web path)
  // and queues its upload; answers {"list":[...]} with the rows shown. The
  // first argument is not used.
  std::string gAddFile(const std::string& parent, const std::vector<MoveItem>& paths);
  // Queues the plain uploads of the local folder's tree under `webpath`;
  // false when the folder's add was asked to stop before the end. A folder
  // link leading back into the walk's own chain is skipped, not walked.
  bool AddUploadSubFiles(const std::string& webpath, const std::string& fullpath,
                         const std::string& parent);

  // --- Copy and move bookkeeping (sync/operations/MoveBookkeeping) ------------------------
  // Some item's destination lies inside its own source (byte comparison).
  static bool checksub(const std::vector<MoveItem>& items);
  // The live rows of every source subtree rewritten under its destination.
  std::vector<SyncFileItem> getfilelist(const std::vector<MoveItem>& items);
  // The live rows of one subtree under its new name, status 1.
  std::vector<SyncFileItem> getfilelistrename(const std::string& oldwebpath,
                                              const std::string& newwebpath);
  // Stores the rows (server time now) and, with `addtrans`, queues their
  // uploads from the content hash with `parent` ("" each row's own path).
  void addfile(std::vector<SyncFileItem>& rows, bool addtrans, const std::string& parent);
  // Marks each subtree deleted locally (7) and drops the links, cache-mode
  // folders, transfer records and running transfers at or under it. Local
  // files stay.
  void delfile(const std::vector<std::string>& webpaths);

  // --- Moves within the library (sync/operations/PageMoves) ------------------------------
  // Page items (source and destination web paths); answers a status answer,
  // "" for an empty list while online.
  std::string gMoveFile(const std::vector<MoveItem>& items);
  // A move the change feed reported. Expects controllock held.
  void receive_move(const std::string& oldwebpath, const std::string& newwebpath);
  void compareAtMoveTarget(const CompareItem& item, ViewList* views);

  // --- Rename, delete and restore from a page (sync/operations) --------------------------
  // Page paths that isSafeEntryPath refuses are answered 10007 (a deletion
  // skips them) and change nothing.
  // Answers 0, 10000 / 10012 when another item holds the new path, or the
  // server's 403201; any other refusal is carried out as copy and delete.
  std::string gRenameFile(const std::string& oldwebpath, const std::string& newwebpath);
  // Always answers success; the server is told when online.
  std::string gDeleteFile(const std::vector<std::string>& webpaths);
  // The server deletion of one row and what its answer settles.
  void deletefileforserver(const SyncFileItem& row);
  // Answers 0, the server's code and text, or 10001 when no code came back.
  std::string gRecover(const std::vector<std::string>& webpaths);

  // --- Fields -------------------------------------------------------------------
  int64_t _nMountID() const { return nMountID_; }
  int64_t _nOrgID() const { return nOrgID_; }
  int64_t _nEntID() const { return nEntID_; }
  std::string _strMountName() const;
  void set_strMountName(std::string name);
  MountItem mountinfo() const;

  Syncdb& syncdb() { return *syncdb_; }
  LinkFolder& linkfolder() { return linkfolder_; }
  CacheFolder& cachefolder() { return cachefolder_; }
  OverWrite& overwrite() { return overwrite_; }
  MarkGetFileList& markgetfilelist() { return markgetfilelist_; }
  LastFileEvent& lastRename() { return lastRename_; }

  std::atomic<bool> bScaned{false};
  std::atomic<bool> bNeedCompare{false};
  std::atomic<bool> bSpaceMax{false};
  std::atomic<bool> bFirstCompare{false};
  // A comparison pass of this manager is queued or running.
  std::atomic<bool> bInWork{false};
  // The current pass got a full feed page; another cycle is wanted at once.
  std::atomic<bool> bCompareHaveData{false};
  std::atomic<int64_t> nCompareCount{0};
  std::atomic<int64_t> nCompareDoneCount{0};
  // Monotonic clock seconds (platform::Clock) of the last gating reset.
  std::atomic<double> ftCompareDoneTime{0.0};
  // Monotonic clock seconds of the last "space full" answer.
  std::atomic<double> ftSpaceMaxTime{0.0};
  std::atomic<int64_t> nPermissions{0};
  // Server dateline of the last feed answer for the whole library.
  std::atomic<uint64_t> ullCompareTime{0};
  std::atomic<int64_t> nUpdateNum{0};
  // Bit 1: an upload was queued in this feed pass; bit 2: a download.
  std::atomic<int64_t> nCallbackAction{0};

  bool bStart() const { return bStart_; }
  bool bOut() const { return bOut_; }

  // A copy of the folders being added (for tests and diagnostics).
  std::vector<add_or_del_stx> adlist() {
    std::lock_guard lock(adlock_);
    return adlist_;
  }

 private:
  explicit SyncManager(const MountItem& mount);

  // Creation steps.
  void openStore();
  void initCursor();
  void initLinks(SyncCenter& center);
  void unlinkMissing(const LinkFolderNode& link);
  void initCaches();
  // A backup link the library's bits no longer feed (setpermisson).
  void dropBackupLink(const LinkFolderNode& link, const std::string& property);
  // The cache-mode folders at or below the web path leave the list and the
  // store; answers them.
  std::vector<CacheFolderItem> takeCachesAt(const std::string& webpath);
  // Rows for the items of a folder listing (sync/operations/FolderRows).
  void applyListedItems(const std::vector<CompareItem>& items);
  // The server side of gNewFile (sync/operations/NewFile).
  bool createOnServer(SyncFileItem& row, bool linked, uint64_t now);
  // The read-only step of eventadd: true when the item is not taken in.
  bool readOnlyRefusesAdd(const std::string& p, const std::string& w, const SyncFileItem& r,
                          bool dir, uint64_t size, uint64_t t);
  // Renames and moves (sync/local/LocalMoves): whether a moved item's new
  // path is still synced; else the old row gets `mark` (true); the rows
  // following a move the server made; one retry sweep over a list.
  bool inScope(const std::string& path);
  bool leftScope(const std::string& oldpath, const std::string& newpath, int64_t mark);
  void moveRows(const std::string& wo, const std::string& wn);
  // A moved file whose size or time is not its row's is looked at as edited.
  void examineMoved(const std::string& path, const std::string& webpath);
  // The rows alone follow (the transfer records stay).
  void placeRows(const std::string& wo, const std::string& wn);
  // The marking pass (sync/local/SyncManagerScan): one listed row, and a
  // row whose local item is gone (true: fetch it again from the server).
  bool markGone(const SyncFileItem& listed);
  bool markMissing(const SyncFileItem& row);
  void retryMoves(std::vector<movefile_stx> MoveLists::*list,
                  bool (SyncManager::*handler)(const std::string&, const std::string&, bool));

  // Parts of receive_add (sync/server/ServerAddDecision).
  struct AddPlace;
  AddPlace placeEntry(const CompareItem& item);
  bool followKnownEntry(const CompareItem& item);
  void checkEntryPermissions(const CompareItem& item, const AddPlace& place);
  std::optional<SyncFileItem> addNewRow(const CompareItem& item, AddPlace& place,
                                        ViewList* views);
  std::optional<SyncFileItem> updateRow(const CompareItem& item, AddPlace& place,
                                        ViewList* views, bool checkhotfile, bool comparenow);
  void meetLocalCopy(SyncFileItem& row, const std::string& local);
  // Whether a new entry at a path this client has just renamed away from is
  // that rename's echo, not another member's new item at the freed name.
  bool isRenameEcho(const CompareItem& item, const std::string& movedTo) const;
  void followLock(const CompareItem& item, const AddPlace& place);
  void queueAfterComparison(SyncFileItem& row, const AddPlace& place, bool checkhotfile);
  void addParentViews(const std::string& webpath, ViewList* views) const;

  // Cases of compare_data (sync/server/LocalComparison).
  void compareUnchanged(SyncFileItem& row, const CompareItem& item, const std::string& local,
                        bool backup);
  void compareChanged(SyncFileItem& row, const CompareItem& item, const std::string& local,
                      uint64_t size, uint64_t mtime, bool backup);
  void compareMissing(SyncFileItem& row, const CompareItem& item, const std::string& local,
                      bool backup, bool comparenow);
  void setLocalTimes(SyncFileItem& row, const std::string& local, uint64_t created,
                     uint64_t modified);

  // Parts of finishdownload and the server deletions (sync/server).
  // The answer of finishdownload once controllock is held; `announce` gets
  // the row to tell the pages about after the lock is released.
  bool placeDownload(const TransTaskItem& record, const std::string& temppath,
                     std::optional<SyncFileItem>& announce);
  bool parentDeleted(const SyncFileItem& row);
  bool onlyRecordedFiles(const std::string& folder);
  // A folder the server deleted while it held local work goes up again.
  void resendFolder(const SyncFileItem& folder);
  void cacheRecordedFiles(const std::string& folder);

  // Parts of the transfer completions (sync/operations).
  void completeSyncUpload(const TransTaskItem& task);
  void commitSyncUpload(const TransTaskItem& task, SyncFileItem& row);
  void finishNonSyncUpload(const TransTaskItem& task, SyncFileItem& row);
  void queueCreatedFromHash(const TransTaskItem& task, SyncFileItem& row, bool download);
  void finishOpenedUpload(const TransTaskItem& task, SyncFileItem& row);
  void applyReadOnlyRule(const SyncFileItem& row, const std::string& local, bool lockOnly);
  void refusedSyncUpload(const TransTaskItem& task);
  void sendToViews(const std::string& webpath, const PageEvent& event) const;

  // Page operations (sync/operations): the linked and cache-mode folders at
  // or under a path follow a move or rename, with their records; or they
  // go (favourites, watches, records, content directories).
  void renameFoldersAt(const std::string& oldwebpath, const std::string& newwebpath);
  void dropFoldersAt(const std::string& webpath);
  // Repeats asking the add of the path to stop until it has (at most about
  // 30 s after the first request, on the injectable clock).
  void waitForAddToStop(const std::string& webpath);
  // The copy-and-delete rename and one item's copy-and-delete move.
  void renameByCopy(const std::string& oldwebpath, const std::string& newwebpath,
                    const std::string& oldlocal, const std::string& newlocal, uint64_t now);
  void moveByCopy(const MoveItem& item);
  // One item of an online page move; the item's answer.
  std::string moveOnServer(const MoveItem& item);
  // What became of the local item of a move the change feed reported.
  enum class LocalFollow { kStayed, kMoved, kLeftBehind };
  // The rows and local item of a move the change feed reported, both
  // places lying in linked folders. kLeftBehind: the local item could not
  // follow (its new folder is missing here, say) and has no row any more.
  LocalFollow followServerMove(const std::string& oldwebpath, const std::string& newwebpath,
                               const std::string& oldlocal, const std::string& newlocal);
  // The upload records that moved with a followed item read its file from
  // the new local place.
  void moveUploadSources(const std::string& newwebpath, const std::string& oldlocal,
                         const std::string& newlocal);
  // A folder the feed moved already has its row at the new path: the rows
  // still under the old path follow it to their new places.
  void followRowsLeftBehind(const std::string& oldwebpath, const std::string& newwebpath);
  // After a failed move of the local item: true when a file of its own
  // stood at the target and was recorded as a local edit to upload.
  bool keepFileAtMoveTarget(const std::string& newwebpath, const std::string& oldlocal,
                            const std::string& newlocal);
  void applyServerRename(const std::string& oldwebpath, const std::string& newwebpath,
                         const std::string& oldlocal, const std::string& newlocal);
  void deleteOne(const SyncFileItem& row);
  // One item of gAddFile: its page form when the answer lists it.
  std::optional<JsonValue> addOne(const MoveItem& item);
  // A folder added by plain upload: listed as being added, its folder task
  // recorded and its background add started.
  void startFolderAdd(const std::string& webpath, const std::string& local);
  // The row and upload record of one item met by AddUploadSubFiles.
  void addSubItem(const std::string& webpath, const std::string& local, const std::string& parent);

  // One row of the deletion pass; false when the pass must end here.
  bool settleDeletion(const SyncFileItem& listed);
  // A server re-read asked for by a holder of controllock, run once the
  // holder has released it (compare_now takes the lock itself).
  void deferCompareNow(const std::string& webpath, bool dir, const std::string& property);
  // A pending move whose old local path contains `local`.
  bool removelistTouches(const std::string& local);

  const int64_t nMountID_;
  const int64_t nOrgID_;
  const int64_t nEntID_;

  std::atomic<bool> bStart_{false};
  std::atomic<bool> bOut_{false};

  mutable std::mutex fieldsMutex_;
  std::string strMountName_;  // guarded by fieldsMutex_
  MountItem mountinfo_;       // guarded by fieldsMutex_

  std::mutex controllock_;
  std::atomic<std::thread::id> controlOwner_{};  // the holder of controllock_
  std::unique_ptr<Syncdb> syncdb_;  // never null after creation
  LinkFolder linkfolder_;
  CacheFolder cachefolder_;
  OverWrite overwrite_;
  MarkGetFileList markgetfilelist_;
  LastFileEvent lastRename_;

  std::mutex listsMutex_;
  MoveLists movelists_;  // guarded by listsMutex_: renamelist, removelist
  CopyList copylist_;    // guarded by listsMutex_

  std::mutex adlock_;
  std::vector<add_or_del_stx> adlist_;  // guarded by adlock_

  struct DeferredCompare {
    std::string webpath;
    bool dir = false;
    std::string property;
  };
  std::vector<DeferredCompare> deferredCompares_;  // guarded by controllock_
};

}  // namespace nb
