#pragma once
// The sync store of one library: what the client knows of the library's
// files and folders (SYNC), its change-feed cursors (VERSION), the paths
// queued for an immediate re-sync (SYNCEDNOW) and the local folders tied to
// it (LINKNODE, OLDLINKNODE, CACHENODE).
//
// One instance per library, owned by that library's sync manager; others
// reach it through the manager. Every operation is one job on the store's
// serial queue, run on the caller's thread, so every member is safe from any
// thread; an operation must not be called from inside a job of this store.
// Reads answer their documented default when nothing matches or the
// statement fails; writes report nothing unless a result is declared.
//
// Paths are web paths inside the library ("a/b/c", no leading "/"). Path
// equality ignores ASCII case. The subtree of a path p is every row whose
// path begins with p followed by "/" (ASCII case ignored, "%" and "_" match
// only themselves), never the row of p itself.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/sqlite/MySqlite.h"
#include "stores/syncdb/CacheFolderItem.h"
#include "stores/syncdb/LinkFolderNode.h"
#include "stores/common/StoreTransaction.h"
#include "stores/syncdb/SyncFileItem.h"
#include "stores/syncdb/SyncNow.h"
#include "stores/syncdb/SyncVersion.h"

namespace nb {

class FMDatabase;
class FMResultSet;

class Syncdb : public MySqlite {
 public:
  // Size of the file at a path in bytes; 0 when missing or unreadable.
  using FileSizeFn = std::function<uint64_t(const std::string& path)>;
  // Stores above this size open without the integrity check and compaction.
  static constexpr uint64_t kCheckedSizeLimit = 104'857'600;

  // Opens (creating when missing) the store at `path`, creates and migrates
  // the schema, and, for a file of at most kCheckedSizeLimit bytes, checks
  // its integrity (restoring the backup when damaged) and compacts it.
  // nullptr when the file cannot be opened. `fileSize` is for tests.
  static std::unique_ptr<Syncdb> initpath(const std::string& path, FileSizeFn fileSize = {});
  // A store without a file: every read answers its default and every write
  // is dropped. What a library whose store cannot be opened works with.
  static std::unique_ptr<Syncdb> unopened();

  void createTable(bool integrity) override;
  void updateTable() override;

  // ---- Transactions ----------------------------------------------------
  // Between TransactionBegin and TransactionEnd every statement of this
  // store, from any thread, belongs to the one open transaction. Prefer
  // Transaction, which always ends what it began.
  // True when a transaction was begun (false when one was already open).
  bool TransactionBegin();
  // Commits; when the commit fails the transaction is rolled back, so that
  // it never stays open. True when committed.
  bool TransactionEnd();

  using Transaction = StoreTransaction<Syncdb>;

  // ---- Row reading -------------------------------------------------------
  // The current row of a "select *" of SYNC (versiontime is not read).
  static SyncFileItem getSyncFileItemByFMResultSet(FMResultSet& set);

  // ---- File row writes ---------------------------------------------------
  // Upsert by path: an existing row (any letter case) keeps its id, stored
  // path and versiontime; a new row gets versiontime 0. Answers the row id;
  // -1 for an empty path or when no row could be written.
  int64_t add_new_file(const SyncFileItem& item);
  // Rewrites every column but id and versiontime of the row with the
  // record's path, the path's letter case included; never inserts.
  void update_file(const SyncFileItem& item);

  // Single fields of the row with path `path`.
  void update_filehashandfilesize(const std::string& path, const std::string& filehash,
                                  uint64_t filesize);
  void update_lasttime(const std::string& path, uint64_t lasttime);
  void update_weblasttime(const std::string& path, uint64_t weblasttime);
  void update_status(const std::string& path, int64_t status);
  void update_status_lasttime(const std::string& path, int64_t status, uint64_t lasttime);
  void update_status_versiontime(const std::string& path, int64_t status, uint64_t versiontime);
  void update_uuidhash(const std::string& path, const std::string& uuidhash);
  void update_lock(const std::string& path, int64_t status, int64_t userid);
  void update_filesizeandlast(const std::string& path, uint64_t filesize, uint64_t last);
  // Writes `last` into both lasttime and weblasttime.
  void update_filesizeandlastandweblast(const std::string& path, uint64_t filesize, uint64_t last,
                                        int64_t memberid, const std::string& membername);
  void update_property(const std::string& path, const std::string& property);
  void updateVersionTimeByWebpath(const std::string& path, uint64_t versiontime);
  // Sets the times and status 3 (in sync). False only when the write failed;
  // true also when no row has the path.
  bool update_finish(const std::string& path, uint64_t lasttime);
  bool update_finish(const std::string& path, uint64_t lasttime, uint64_t versiontime);

  // Rows chosen by other keys.
  void update_lastname(int64_t lastid, const std::string& name);
  void updateErrorId(int64_t id, int64_t newid);
  void updateErrorUpId(int64_t upid, int64_t newid);
  // The folder's row and its subtree.
  void update_lock_dir(const std::string& path, int64_t status, int64_t userid);

  // Status marks. "dir" empty means the whole library where said.
  // Marks the subtree 7, whatever its status.
  void update_status_deletebyparent(const std::string& dir);
  // Marks 7 only the subtree rows in status 2, 3, 4 or 5.
  void update_status_deletebyparentwheresync(const std::string& dir);
  // Turns a deletion mark (6 or 7) of the row back into 1.
  void reset_del(const std::string& path);
  // Marks 9 every row (empty dir) or the subtree.
  void reset_dir(const std::string& dir);
  // Deletes the rows still marked 9: everywhere (empty dir) or in the subtree.
  void delete_for_reset(const std::string& dir);
  // Clears the identity hash of the folder's direct children that only
  // mirror the server (statuses 2, 3, 4, 5 and 9): rows of pending local
  // work, local deletions and server deletions awaiting commit keep theirs.
  void reset_webpath(int64_t upid);
  // Deletes those same children whose identity hash is still empty.
  void delete_reset_webpath(int64_t upid);

  // Deletes the row and its subtree.
  void del_dir(const std::string& path);
  void del_file(const std::string& path);

  // Moves the row of `path` to `newpath` with parent `upid` and its subtree
  // by prefix replacement (parent ids kept); every moved row gets
  // versiontime 0. Happens whole or not at all: false (nothing changed) when
  // a new path is taken by another row.
  bool move(const std::string& path, const std::string& newpath, int64_t upid);
  // The same without touching parent ids and version times.
  bool rename(const std::string& path, const std::string& newpath);

  // ---- File row queries --------------------------------------------------
  // Row id of the path, or -1.
  int64_t getID(const std::string& path);
  SyncFileItem get_single_file(const std::string& path);
  SyncFileItem getFileInfoById(int64_t id);
  // The last row read when several hold the identity hash.
  SyncFileItem get_uuidhash_file(const std::string& uuidhash);
  // The first row of the folder's subtree in path order.
  SyncFileItem get_error_sub(const std::string& dir);
  // The path of one in-sync row holding the content, or "".
  std::string get_synced_hash(const std::string& filehash);
  uint64_t getVersionTimeByWebpath(const std::string& path);
  // Whether a subtree row waits for upload (status 1 or 8).
  bool is_upload_by_path(const std::string& dir);
  // Rows at the library's top level.
  int64_t checkHaveFileInfo();

  // The row of the path and its subtree without deletion marks, folders first.
  std::vector<SyncFileItem> get_all(const std::string& path);
  std::vector<SyncFileItem> get_all_dirformarkdelete(int64_t upid);
  std::vector<SyncFileItem> get_all_filesformarkdelete(int64_t upid);
  // Children of folder row `upid` (0: the top level) without deletion
  // marks, in the order of `sort` (a get_sort_string clause, or "").
  std::vector<SyncFileItem> get_all_fileanddir(int64_t upid, const std::string& sort);
  std::vector<SyncFileItem> get_all_dir(int64_t upid, const std::string& sort);
  // Files of the library, newest server time first, paged by start/count.
  std::vector<SyncFileItem> get_all_bytime(int64_t start, int64_t count);
  // Order clause of the pages' file lists: key "filesize", "last_edit_time"
  // or anything else (by name); direction "desc" or anything else (asc).
  static std::string get_sort_string(uint64_t start, uint64_t count, std::string_view sort,
                                     std::string_view sorttype);

  std::vector<SyncFileItem> get_all_deleted_file();
  // The top-most folders marked deleted: those whose parent row is missing
  // or not marked itself.
  std::vector<SyncFileItem> get_all_deleted_dir();
  // Rows waiting for transfer (1, 2, 8): everywhere (empty path) or the
  // path's row and its subtree.
  std::vector<SyncFileItem> get_trans_files(const std::string& path);
  // Always empty: its only caller deletes the local copies of what it lists,
  // and no row may be listed there safely.
  std::vector<SyncFileItem> get_all_upload_by_path(int64_t upid);

  // Counts (0 on failure). "path" empty means the whole library.
  int64_t getsyncstatuscount(const std::string& path);
  int64_t getFileCount(int64_t upid);
  int64_t getFolderCount(int64_t upid);
  int64_t getFileAllCount(const std::string& path);
  uint64_t getFileAllSize(const std::string& path);
  int64_t getFolderAllCount(const std::string& path);

  // ---- Change-feed cursors ----------------------------------------------
  // Creates the cursor with compareinit 1 when the path has none.
  void insert_total_version(const std::string& path);
  // Creates the cursor at `dateline` with compareinit 0 when the path has none.
  void insert_total_version(const std::string& path, uint64_t dateline);
  // True when the update ran, also when no row has the path.
  bool update_total_version(const SyncVersion& version);
  // A record with an empty path when there is none.
  SyncVersion get_total_version(const std::string& path);
  std::vector<SyncVersion> get_all_version();
  void update_total_compareinit(const std::string& path, int64_t compareinit);

  // ---- Re-sync queue ----------------------------------------------------
  // Queues the path (type 0, dateline 0); an existing entry keeps its
  // folder flag.
  void inset_sync_now(const std::string& path, bool dir, bool overwrite);
  void inset_sync_now(const std::string& path, bool dir, uint64_t dateline, int64_t type,
                      bool overwrite);
  // Marks the entry as under way (type 1).
  void update_sync_nowtype(const std::string& path, bool dir);
  // The entry's type; 1 when there is none.
  int64_t get_sync_nowtype(const std::string& path, bool dir);
  void update_sync_now(const std::string& path, int64_t dateline);
  std::vector<std::string> get_overwrites();
  std::vector<SyncNow> get_sync_now();
  // Deletes the entry only while it is under way (type 1).
  void del_sync_now(const std::string& path, bool dir);

  // ---- Linked, formerly linked and cache-mode folders ---------------------
  // Keyed by web path ("" is the whole library), ASCII case ignored. The
  // upserts update a row stored with other letter case in place, keeping its
  // stored web path; they answer whether the update or insert ran.
  bool add_link(const LinkFolderNode& node);
  std::vector<LinkFolderNode> get_links();
  // Moves the link of `path` and every link below it to the prefix
  // `newpath`. Answers whether the statement moving the links below ran
  // (true also when there were none).
  bool rename_link(const std::string& path, const std::string& newpath);
  // same: only the row of `path`; otherwise also every row below it.
  void remove_link(const std::string& path, bool same);

  // Records the link with the current wall time, or with `time` (seconds
  // since 1970).
  bool add_oldlink(const LinkFolderNode& node);
  bool add_oldlink(const LinkFolderNode& node, uint64_t time);
  // The local path the web path was last linked to, or "".
  std::string get_oldlink(const std::string& path);

  bool add_cache(const CacheFolderItem& item);
  std::vector<CacheFolderItem> get_caches();
  bool rename_cache(const std::string& path, const std::string& newpath);
  void remove_cache(const std::string& path, bool same);

  // ---- Conversion of an older store ---------------------------------------
  // Converts the store of the older layout at `oldPath` (file rows naming
  // their parent by path) into a current store at `newPath`, merging into
  // what that file already holds; the old file is only read. A missing or
  // unreadable old file leaves the new store with its schema only. False
  // when the new store could not be made or its rows not committed: the
  // caller must then keep the old file.
  static bool update2to3(const std::string& oldPath, const std::string& newPath);
  // Copies the old rows directly under the folder `parent` ("" for the top
  // level) with parent id `upid`, and depth first what lies below each
  // copied folder. Only rows whose path lies directly below `parent` are
  // taken, and the walk stops at kMaxConvertDepth, so a corrupt old store
  // (a row naming itself or a descendant as parent) cannot make it loop.
  static constexpr int kMaxConvertDepth = 256;
  static void changesync(FMDatabase& old, Syncdb& store, const std::string& parent, int64_t upid,
                         int depth = 0);

 private:
  Syncdb() = default;

  // Helpers that each run one job.
  bool write(std::string_view sql, const SqlArgs& args);
  SyncFileItem lookup(std::string_view sql, const SqlArgs& args);
  std::vector<SyncFileItem> list(std::string_view sql, const SqlArgs& args);
  int64_t count(std::string_view sql, const SqlArgs& args);
  // Runs the two statements of a move or rename inside one savepoint.
  bool moveSubtree(std::string_view rowSql, const SqlArgs& rowArgs, std::string_view subtreeSql,
                   const SqlArgs& subtreeArgs);
};

}  // namespace nb
