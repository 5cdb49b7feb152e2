#pragma once
// The content cache: enciphered copies of file contents, one entry per
// content and root, named by the content's SHA-1, so that a content can be
// produced again without a download.
//
// Layout: the entry of hash h in root R is R/h[0..2]/h (CacheEntryFormat.h
// has the bytes). The default root is the user's "cache" folder; the sync
// managers register further roots (the content folders of cache-mode
// folders) in the inherited list. Entries are never rewritten. Files of
// kCacheMaxFileSize bytes or more get no entry.
//
// The key text is kept in the catalogue ("datacache") from the first
// sign-in of a user on this computer on: a later change of the computer id
// must not make every entry unreadable (and so empty the cache).
//
// A content hash becomes part of a path only when it is exactly 40
// lower-case hex characters: hashes come from LAN peers and pages.
//
// Thread-safety: every member may be called from any thread. nodeLock (a
// plain mutex) covers the adds (existence test and writing), lookups,
// trimming, the root list and clear; copyDecrypt, moveCacheByPath and
// copyFolderToCache run without it and take it only through the calls
// above, never while holding it.

#include <cstdint>
#include <string>
#include <vector>

#include "api/session/UserData.h"
#include "foundation/util/FieldLock.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/common/NodeBase.h"

namespace nb {

inline constexpr std::uint64_t kCacheMaxFileSize = 104'857'600;  // 100 MiB
// SHA-1 of the empty content: a plain empty file in the default root.
inline constexpr const char* kEmptyContentHash = "da39a3ee5e6b4b0d3255bfef95601890afd80709";

// True when `hash` is exactly 40 lower-case hex characters.
bool isContentHash(const std::string& hash);

// The key text of a computer and user: sha1hex of "<computerid>_<userid>_"
// followed by the fixed salt shared with the message store.
std::string cacheKeyText(const std::string& computerid, std::int64_t userid);

// One file met while trimming.
struct CacheFileItem {
  std::string strFullPath;
  std::uint64_t ullSize = 0;
  std::uint64_t ullLastTime = 0;  // creation time, seconds since 1970 (0: unknown)
  std::uint64_t ullModifyTime = 0;  // orders files created within the same second
};

// The list base is private: its clear (empty the list of extra roots) must
// never be mistaken for the cache's own clear (empty the default root).
class SyncCache : private NodeBase<std::string> {
 public:
  // The process-wide cache, on the shared UserData and catalogue; empty
  // until setPath.
  static SyncCache& shareSyncCache();

  // `user` gives the computer id, user id and user folder; `catalogue`
  // keeps the key text. Both must outlive the cache.
  SyncCache(UserData& user, Mountsdb& catalogue);

  // Points the cache at a user, after the catalogue was opened for that
  // user: `root` becomes the default root (created), the key text is the
  // catalogue's or, on a first sign-in, made and stored there, and the
  // empty-content entry is made. The extra roots stay. With the catalogue
  // not open the key is made but not kept, and an error is logged.
  void setPath(const std::string& root);

  // Adds the file under `filehash` to the default root, or to `root`.
  // True when the root holds an entry for the hash afterwards (an existing
  // entry is kept as it is). False for a hash that is not a content hash, a
  // file of kCacheMaxFileSize bytes or more, or a failed write.
  bool addCacheFileByPath(const std::string& path, const std::string& filehash);
  bool addCacheFileByPath(const std::string& path, const std::string& filehash,
                          const std::string& root);

  // The entry of the hash in the default root, else in the first extra root
  // that has one; "" when none has or the hash is not a content hash.
  std::string getFullPathByFileHash(const std::string& filehash);

  // Writes the entry `entry` from `source`. True when written.
  bool copyEncrypt(const std::string& source, const std::string& entry);
  // Produces the content of `entry` at `target`, which is replaced only by
  // a complete, verified copy. A deciphered content that does not match
  // the entry's name proves the cache unusable (another key): the default
  // root is emptied and the answer is false, the target left as it was.
  // A folder at `target` is never deleted: the answer is false.
  bool copyDecrypt(const std::string& entry, const std::string& target);

  // Deletes files below the default root, oldest first, until the newest
  // ones that remain add up to less than `budget` bytes. Dot names are
  // neither counted nor deleted.
  void cleanBySize(std::int64_t budget);

  // Extra roots. addCacheByPath creates the folder and registers it.
  // deleteCacheByPath unregisters the first equal root and deletes its
  // folder when it lies at or under the user folder. moveCacheByPath moves
  // the entries of `from` into `to` without replacing any.
  void addCacheByPath(const std::string& root);
  void deleteCacheByPath(const std::string& root);
  void moveCacheByPath(const std::string& from, const std::string& to);

  // Adds every file below `folder` (dot names skipped) under its own hash.
  void copyFolderToCache(const std::string& folder);

  // Deletes the default root with everything in it and creates it again
  // empty; the empty-content entry is back at the next setPath. The extra
  // roots stay.
  void clear();
  // Creates the empty-content entry when nothing is at its path.
  void addCacheByNullFile();

  // Appends every file below `folder` (dot names skipped) to `items`.
  static void findFileByPath(const std::string& folder, std::vector<CacheFileItem>& items);

  std::string pathString() const { return fields_.get(pathString_); }
  std::vector<std::string> extraRoots() const { return nodes(); }

 private:
  std::string strKey() const { return fields_.get(strKey_); }
  bool addLocked(const std::string& path, const std::string& entry);  // nodeLock held

  // The key text of the catalogue, made and stored there when missing.
  std::string keyFromCatalogue();

  UserData& user_;
  Mountsdb& catalogue_;
  FieldLock fields_;
  std::string pathString_;  // guarded by fields_
  std::string strKey_;      // guarded by fields_; never logged
};

}  // namespace nb
