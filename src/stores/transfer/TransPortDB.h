#pragma once
// The per-user transfer store (vetransex3.db): the persistent download and
// upload queues, the history of files opened for editing and the
// folder-level transfer tasks. One shared instance, re-pointed at the
// signed-in user's file by setPath at every sign-in.
//
// Statuses are those of TransferStatus (1 running ... 5 failed). Record kinds
// (`expand`): downloads 0 ordinary, 1 download to open, 256 hidden (queued by
// the sync engine without a local target, left out of page lists and of the
// visible count); uploads 0 ordinary, 1 re-upload of an opened file, 2 upload
// by content hash only, 3 full upload forced by the server.
//
// Every operation is one job on the store's queue and may be called from any
// thread. Reads answer an empty result (empty list, record with nIndex 0, 0,
// false, "") when the statement fails, when nothing matches and before the
// first setPath; writes are retried and a failure is not reported (only
// Add_Upload answers it). Ids are 64-bit. "Now" is the injectable clock's
// wall time in whole seconds. "At or under P" means the path equals P or
// begins with P + "/", ASCII case ignored, no character of P a wildcard.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "api/models/DeleteUploadAllItem.h"
#include "api/models/OpenTransportItem.h"
#include "api/models/TransTaskItem.h"
#include "api/models/TransportItem.h"
#include "api/session/UserData.h"
#include "foundation/sqlite/MySqlite.h"
#include "stores/transfer/MoveItem.h"
#include "stores/common/StoreTransaction.h"
#include "stores/cache/SyncCache.h"
#include "stores/transfer/TaskDir_Stx.h"
#include "stores/transfer/TransferQueue.h"

namespace nb {

class TransPortDB : public MySqlite {
 public:
  // The process-wide instance, made on first use without a connection.
  static TransPortDB& shareTransPortDB();

  TransPortDB() = default;  // no connection until setPath

  // Opens `path` (schema, upgrades, integrity check with restore from the
  // backup) and runs the start-up sequence: folder tasks into nodeArray,
  // then ClearTrans, ClearOpen, ResetError, ResetStart. A previous
  // connection is closed.
  void setPath(const std::string& path);
  // Sign-out: drops the folder-task list; the connection stays usable.
  void exit();

  void createTable(bool integrity) override;  // tables, indexes, VACUUM when `integrity`
  void updateTable() override;                 // columns added by later versions

  // Start-up clean-up, each on Download then Upload.
  void ClearTrans();  // finished rows go, except finished uploads of kind 1
  // Pass over the opened-file history: rows in the transfer temporary folder
  // go with their uploads; rows whose copy is gone (and not still arriving)
  // go; copies edited since they last matched the server are queued as
  // re-uploads (kind 1). With no history the opened-files folder is put into
  // the content cache and deleted; a file the cache cannot hold, and every
  // file whose name begins with ".", goes to the Trash first, and when one
  // cannot, the folder stays.
  void ClearOpen();
  void ResetError();  // status 5 or more: waiting, no error, offered at once
  void ResetStart();  // running: waiting, no error, offered at once
  // One record per TaskDir row in table order, bFinish false.
  std::vector<TaskDir_Stx> GetTaskDirs();

  // The in-memory folder-task list; nullopt before setPath and after exit.
  // Returns a copy; safe from any thread.
  std::optional<std::vector<TaskDir_Stx>> nodeArray() const;
  void setNodeArray(std::optional<std::vector<TaskDir_Stx>> tasks);

  // ---- Download queue: one row per (mountid, webpath, fullpath).

  // Merges with the row of the record's triple or inserts. A stopped row
  // stays stopped; a finished row restarts at offset 0; errors are cleared.
  // Sets item.ullOffset to the offset the row now holds. The caller must
  // not share `item` with another thread during the call.
  void Add_Download(TransportItem& item);

  void Update_DownloadStart(std::int64_t id);
  void Update_DownloadStartActlast(std::int64_t id);
  void Update_DownloadStatus(std::int64_t id, std::int64_t status);
  void Update_DownloadNormal(std::int64_t id, std::uint64_t offset);  // offered at once
  void Update_DownloadStop(std::int64_t id, std::uint64_t offset);
  void Update_DownloadOffset(std::int64_t id, std::uint64_t offset);
  void Update_DownloadFinish(std::int64_t id);
  void Update_DownloadActlast(std::int64_t id, std::int64_t status, std::uint64_t time);
  void Update_DownloadStat(std::int64_t id, std::int64_t stat);
  void Update_DownloadError(std::int64_t id, std::int64_t error, const std::string& msg);

  void Delete_Download(std::int64_t id);
  // Unfinished rows of the library with exactly that web path, any full path.
  void Delete_Download(std::int64_t mountid, const std::string& webpath);
  // Unfinished rows of the library at or under the web path.
  void Remove_Download(std::int64_t mountid, const std::string& webpath);
  void DeleteDownloadAll();        // unfinished rows the sync engine did not queue
  void DeleteDownloadAllFinish();  // finished rows

  // Next jobs: waiting rows not postponed (activity time outside
  // [now, now + 600]), kinds high to low, oldest activity, lowest id; <= 1000.
  std::vector<TransTaskItem> Get_Downloads();
  // Page lists without hidden downloads: unfinished by kind desc then id;
  // finished by activity time desc.
  std::vector<TransportItem> Get_AllDownload(std::int64_t start, std::int64_t count);
  std::vector<TransportItem> Get_AllDownloadFinish(std::int64_t start, std::int64_t count);
  TransportItem Get_Download(std::int64_t mountid, const std::string& webpath,
                             const std::string& fullpath);
  // Any row of the library with that web path; of several, the last the
  // query yields.
  TransportItem Get_Download(std::int64_t mountid, const std::string& webpath);
  std::vector<TransportItem> Get_DownloadsByHash(const std::string& filehash);  // unfinished
  bool Check_Download(std::int64_t mountid, const std::string& webpath, bool dir);
  // Full path of a finished download of that content, or "".
  std::string Check_DownloadFinishByHash(const std::string& filehash);
  std::int64_t GetDownloadCount();     // unfinished, not hidden
  std::int64_t GetDownloadCountAll();  // unfinished

  void StartDownloadAll();    // stopped and failed rows to waiting
  void StopDownloadAll();     // waiting, running and failed rows to stopped
  void ResetDownloadError();  // failed rows to waiting

  // ---- Upload queue: one row per (mountid, webpath).

  // Merges with the row of the record's pair or inserts (see the .cpp for
  // the rules); `parent` becomes the row's parentpath. Sets item.ullOffset
  // to the offset the row now holds. True when the final write succeeded.
  bool Add_Upload(TransportItem& item, const std::string& parent);

  void Update_UploadStart(std::int64_t id);
  void Update_UploadStartActlast(std::int64_t id);
  void Update_UploadStatus(std::int64_t id, std::int64_t status);
  void Update_UploadNormal(std::int64_t id, std::uint64_t offset);  // held back 10 s
  void Update_UploadStop(std::int64_t id, std::uint64_t offset);
  void Update_UploadOffset(std::int64_t id, std::uint64_t offset);
  void Update_UploadFinish(std::int64_t id);
  void Update_UploadActlast(std::int64_t id, std::int64_t status, std::uint64_t time);
  void Update_UploadError(std::int64_t id, std::int64_t error, const std::string& msg);
  void Update_UploadFilesizeAndLast(std::int64_t id, std::uint64_t filesize, std::uint64_t last);
  void Update_UploadFilehashAndFilesize(std::int64_t id, const std::string& filehash,
                                        std::uint64_t filesize);
  void Update_UploadReset(std::int64_t id, std::uint64_t filesize, std::uint64_t last);

  void Delete_Upload(std::int64_t id);
  void Delete_UploadForPath(const std::string& fullpath);  // any library, any status
  void Remove_Upload(std::int64_t mountid, const std::string& webpath);  // unfinished, at or under
  void DeleteUploadAll();        // unfinished rows the sync engine did not queue
  void DeleteUploadAllFinish();  // finished rows

  std::vector<TransTaskItem> Get_Uploads();  // next jobs, as Get_Downloads
  std::vector<TransportItem> Get_AllUpload(std::int64_t start, std::int64_t count);
  std::vector<TransportItem> Get_AllUploadFinish(std::int64_t start, std::int64_t count);
  TransportItem Get_Upload(std::int64_t id);
  TransportItem Get_Upload(std::int64_t mountid, const std::string& webpath);
  std::vector<TransportItem> Get_Uploads(std::int64_t mountid, const std::string& webpath);
  // Each distinct (parentpath, mountid) among rows the sync engine did not
  // queue, any status.
  std::vector<DeleteUploadAllItem> Get_DeleteParentUpload();
  bool Check_Upload(std::int64_t mountid, const std::string& webpath, bool dir);
  std::int64_t GetUploadCount();  // unfinished

  void StartUploadAll();
  void StopUploadAll();
  void ResetUploadError();

  // ---- Per-path information and bulk path changes (TransPortDBPaths.cpp).

  // The upload record of the library and web path; else a download record
  // of them (any full path, the last the query yields; ullLast 0); else a
  // record with nIndex 0.
  TransportItem GetTransInfo(const std::string& webpath, std::int64_t mountid);
  // Every download, then every upload, of the library.
  void RemoveMountid(std::int64_t mountid);
  // Uploads then downloads of the library at or under the web path, any
  // status ("" selects the whole library); the UnFinish form keeps finished
  // rows.
  void RemoveWebpath(std::int64_t mountid, const std::string& webpath);
  void RemoveWebpathUnFinish(std::int64_t mountid, const std::string& webpath);
  // Queues in library `newmountid`, waiting, a copy of every unfinished
  // upload of `mountid` at or under each item's frompath, moved to its
  // topath (which becomes the parent path). Sources and downloads stay.
  void CopyTrans(const std::vector<MoveItem>& items, std::int64_t mountid,
                 std::int64_t newmountid);
  // Moves web paths of uploads, downloads and opened files from `oldwebpath`
  // to `newwebpath` (the path and everything below it). When both full
  // paths are given, downloads' full paths at or under `oldfullpath` move to
  // `newfullpath` too; upload and opened-file full paths stay.
  void RenameTrans(std::int64_t mountid, const std::string& oldwebpath,
                   const std::string& newwebpath, const std::string& oldfullpath,
                   const std::string& newfullpath);
  // Uploads of the library whose full path equals `oldfullpath`.
  void RenameTrans(std::int64_t mountid, const std::string& oldfullpath,
                   const std::string& newfullpath);

  // ---- Opened-file history (TransPortDBOpenHistory.cpp); rows are found by
  // full path alone and every row with that path is affected.

  // Updates size, last and uploadtime of the item's rows, or inserts it.
  void AddOpenHistory(const OpenTransportItem& item);
  void UpdateOpenHistory(const std::string& fullpath, std::uint64_t filesize, std::uint64_t last,
                         std::uint64_t uploadtime);
  void updateOpenUploadFinish(const std::string& fullpath);  // uploadtime = last
  // A row with that full path and last not 0 (the last the query yields),
  // or an empty record (nMountid 0).
  OpenTransportItem CheckOpenHistory(const std::string& fullpath);
  // A row with that full path whatever its last, or an empty record.
  OpenTransportItem CheckNeedLock(const std::string& fullpath);
  // Every row with that full path; the library and web path do not narrow it.
  void DeleteOpenHistory(std::int64_t mountid, const std::string& webpath,
                         const std::string& fullpath);

  // The session folders (openPath, tempPath) and the content cache that
  // ClearOpen uses; the shared instances unless set (before setPath). Both
  // must outlive the store.
  void setSession(UserData& user, SyncCache& cache);

  // ---- Explicit transaction of the whole connection: between the two,
  // every statement of the store, from any thread, belongs to it. Bulk
  // additions hold it, inside the transfer engine's counter:
  //   TransActionScope bulk;                     // api/TransActionCounter.h
  //   TransPortDB::Transaction transaction(store);
  //   ... queue records and folder tasks ...
  using Transaction = StoreTransaction<TransPortDB>;
  // True when a transaction began (false when one is open already).
  bool TransactionBegin();
  // Commits; a commit that fails rolls back, so no transaction stays open.
  // Without an open transaction nothing happens.
  void TransactionEnd();

  // ---- Folder transfer tasks (TransPortDBTaskDirs.cpp). The list is guarded
  // by nodeMutex_, taken before the store's queue, never the other way.

  // Appends the task (unfinished) unless an equal one is listed, then writes
  // its row, replacing the row of the same full path.
  void addTaskDir(std::int64_t mountid, const std::string& webpath, const std::string& fullpath);
  // Marks the first equal listed task finished; the table stays.
  void addTaskDirFinish(std::int64_t mountid, const std::string& webpath,
                        const std::string& fullpath);
  // Deletes the row of the three values; the list stays.
  void delTaskDir(std::int64_t mountid, const std::string& webpath, const std::string& fullpath);
  // After a download of (`mountid`, `webpath`, `fullpath`) completed: true
  // when the user should hear of it. A task covers the file when its web
  // and full paths are each the file's, or a folder above it ("Docs" covers
  // "Docs/x", not "Docs2"); an empty task path covers nothing. Without a
  // covering task: true, `webpath` unchanged. With one: `webpath` becomes
  // the task's; true when the task is finished and no visible unfinished
  // download lies under its full path, and the task is then dissolved.
  bool checkInTaskDirFinish(std::int64_t mountid, std::string& webpath,
                            const std::string& fullpath);
  // The same after an upload; an empty `fullpath` (upload by hash) is
  // matched by web path alone, and a task without a full path (a copy
  // between libraries) counts the uploads under its web path.
  bool checkInTaskUploadDirFinish(std::int64_t mountid, std::string& webpath,
                                  const std::string& fullpath);

 private:
  std::vector<OpenTransportItem> allOpenHistory();
  void clearOpenedFolder();
  void clearOpenRow(const OpenTransportItem& row);
  bool checkTask(std::int64_t mountid, std::string& webpath, const std::string& fullpath,
                 bool upload);

  TransferQueue downloads_{*this, kDownloadTable};
  TransferQueue uploads_{*this, kUploadTable};

  std::atomic<UserData*> user_{nullptr};  // null: UserData::shareUserData()
  std::atomic<SyncCache*> cache_{nullptr};  // null: SyncCache::shareSyncCache()

  mutable std::mutex nodeMutex_;
  std::optional<std::vector<TaskDir_Stx>> nodeArray_;  // guarded by nodeMutex_
};

}  // namespace nb
