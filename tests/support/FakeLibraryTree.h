#pragma once
// The server side of one library in the fake service: a tree of folders and
// files (content hash, size, times, lock, versions), a trash for recovery,
// and the change feed that reports every edit in order.
//
// Paths are library paths without leading or trailing "/" ("a/b.txt"; "" is
// the library itself); callers may pass them with slashes around, which are
// dropped. As on the service, a name is found whatever its ASCII letter
// case: a.txt and A.txt are one entry, spelled as it was made or renamed. Every edit appends to the feed: cmd 1 for an add or a change,
// cmd 0 for a delete, and cmd 0 with "fullpath_to" for a move or rename.
// Folder edits report the folder alone; its children follow implicitly.
//
// Thread-safe: the fake's handler threads and the test thread use it at once.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace nb::test {

struct FakeMember {
  int id = 1;
  std::string name = "tester";
};

struct FakeEntry {
  std::string fullpath;
  bool dir = false;
  std::string hash;       // the server's identifier of the entry, 32 hex
  std::string filehash;   // SHA-1 of the content, 40 hex; "" for folders
  uint64_t filesize = 0;
  uint64_t createDateline = 0;
  uint64_t lastDateline = 0;
  int lock = 0;           // 0 unlocked, 1 locked
  int lockMemberId = 0;
  int version = 1;        // raised by every new content
  int lastMemberId = 0;
  std::string lastMemberName;
  std::string property;

  // The entry as the service writes it (the keys of a change-feed item).
  nlohmann::json toJson(int cmd, const std::string& fullpathTo = "") const;
};

// One change of the feed. `id` is the feed position, unique and increasing;
// `dateline` the server time of the change.
struct FakeChange {
  uint64_t id = 0;
  uint64_t dateline = 0;
  int cmd = 1;
  FakeEntry entry;
  std::string fullpathTo;
};

// One content version of a file; `hid` names it for revert.
struct FakeVersion {
  std::string hid;
  std::string filehash;
  uint64_t filesize = 0;
  uint64_t dateline = 0;
};

enum class FakeTreeError { None, NotFound, Exists, NoParent, Locked, BadName };

class FakeLibraryTree {
 public:
  // Seconds since 1970 of each change; the default is the wall clock.
  using Clock = std::function<uint64_t()>;

  // Service error codes the endpoints answer for each FakeTreeError.
  static int errorCode(FakeTreeError error);

  explicit FakeLibraryTree(int64_t mountId, Clock clock = {});
  FakeLibraryTree(const FakeLibraryTree&) = delete;
  FakeLibraryTree& operator=(const FakeLibraryTree&) = delete;

  int64_t mountId() const { return mountId_; }

  // --- Edits --------------------------------------------------------------
  // Creates the folder and any missing parents; an existing folder is
  // answered as it is (no change). 0 datelines mean "now".
  FakeTreeError addFolder(const std::string& path, const FakeMember& by,
                          uint64_t createDateline = 0, uint64_t lastDateline = 0);
  // Adds the file, or gives an existing one new content (a new version).
  // The parent folder must exist.
  FakeTreeError putFile(const std::string& path, const std::string& filehash, uint64_t filesize,
                        const FakeMember& by, uint64_t createDateline = 0,
                        uint64_t lastDateline = 0);
  // The identifier a file at `path` will get when putFile adds it, so that
  // create-file can name the entry before its upload has finished.
  std::string reserveHash(const std::string& path);
  // Moves the entry (and a folder's subtree) to the trash.
  FakeTreeError remove(const std::string& path, const FakeMember& by);
  // A new name in the same folder; `newname` holds no "/".
  FakeTreeError rename(const std::string& path, const std::string& newname, const FakeMember& by);
  // Into the folder `targetFolder` ("" is the library), keeping the name.
  FakeTreeError move(const std::string& path, const std::string& targetFolder,
                     const FakeMember& by);
  // A lock held by another member refuses every edit but its own unlock.
  FakeTreeError lock(const std::string& path, bool on, const FakeMember& by);
  // Gives the entry the property (its permission list) that its
  // listings and feed items carry from now on; the feed reports a change.
  FakeTreeError setProperty(const std::string& path, const std::string& property);
  // Brings back the latest deleted entry of each path (with its subtree);
  // gives the entries brought back. Paths not in the trash are skipped.
  std::vector<FakeEntry> recover(const std::vector<std::string>& paths, const FakeMember& by);
  // Records a change of the entry with command `cmd` and leaves the entry as
  // it is: -1 is the service asking clients to upload the content again;
  // other values stand for commands a client does not know.
  FakeTreeError announce(const std::string& path, int cmd);
  // Makes the version `hid` the current content again, as a new version.
  FakeTreeError revert(const std::string& path, const std::string& hid, const FakeMember& by);

  // --- Reads --------------------------------------------------------------
  std::optional<FakeEntry> find(const std::string& path) const;
  // Direct children of a folder in name order; nothing when no such folder.
  std::optional<std::vector<FakeEntry>> list(const std::string& folder) const;
  std::vector<FakeVersion> versions(const std::string& path) const;
  // Every content hash the library still keeps somewhere: its files, their
  // earlier versions, and what lies in the trash with its versions.
  std::set<std::string> heldContent() const;
  // Every change so far, oldest first.
  std::vector<FakeChange> changes() const;

  // One page of the feed of `folder` (its subtree; "" the whole library)
  // after the position (dateline, id): with id above 0 the changes after
  // the pair (dateline, id), else those after that dateline. The whole
  // history is replayed from position 0, also on a first read ("init"). The page's position is that of
  // its last change, or the given one when it is empty. Nothing when the
  // folder does not exist.
  struct FeedPage {
    uint64_t dateline = 0;
    uint64_t id = 0;
    std::vector<FakeChange> changes;
  };
  std::optional<FeedPage> feed(const std::string& folder, uint64_t dateline, uint64_t id,
                               std::size_t pageSize = 1000) const;

  static std::string normalize(const std::string& path);

 private:
  struct Trashed {
    std::vector<FakeEntry> entries;  // the entry first, then its subtree
    std::map<std::string, std::vector<FakeVersion>> versions;
  };

  uint64_t now() const;
  std::string nextHash();
  void record(int cmd, const FakeEntry& entry, const std::string& fullpathTo = "");
  bool parentExists(const std::string& path) const;
  // The path spelled as the tree holds it: like the service, the tree
  // finds names without regard to ASCII letter case.
  std::string spelled(const std::string& path) const;
  FakeTreeError checkEditable(const std::string& path, const FakeMember& by) const;
  std::vector<std::string> subtree(const std::string& path) const;
  FakeTreeError relocate(const std::string& from, const std::string& to, const FakeMember& by);

  const int64_t mountId_;
  const Clock clock_;
  mutable std::mutex lock_;
  std::map<std::string, FakeEntry> entries_;                  // GUARDED_BY(lock_)
  std::map<std::string, std::vector<FakeVersion>> versions_;  // GUARDED_BY(lock_)
  std::map<std::string, std::vector<Trashed>> trash_;         // GUARDED_BY(lock_)
  std::vector<FakeChange> feed_;                              // GUARDED_BY(lock_)
  std::map<std::string, std::string> reserved_;               // GUARDED_BY(lock_): path -> hash
  uint64_t nextId_ = 0;                                       // GUARDED_BY(lock_)
  uint64_t nextHash_ = 0;                                     // GUARDED_BY(lock_)
};

}  // namespace nb::test
