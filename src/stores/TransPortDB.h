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

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "api/DeleteUploadAllItem.h"
#include "api/TransTaskItem.h"
#include "api/TransportItem.h"
#include "foundation/MySqlite.h"
#include "stores/TaskDir_Stx.h"
#include "stores/TransferQueue.h"

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
  void ClearOpen();   // pass over the opened-file history
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

 private:
  TransferQueue downloads_{*this, kDownloadTable};
  TransferQueue uploads_{*this, kUploadTable};

  mutable std::mutex nodeMutex_;
  std::optional<std::vector<TaskDir_Stx>> nodeArray_;  // guarded by nodeMutex_
};

}  // namespace nb
