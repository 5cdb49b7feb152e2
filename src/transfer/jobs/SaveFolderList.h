#pragma once
// Queues the downloads of a cloud folder's whole contents into a local
// folder: the folder is listed page after page until a short page (so a
// folder of any size comes whole), each readable entry becomes a waiting
// download record (nStat 1) right before its own contents, and sub-folders
// are walked the same way.
//
// Listed names come from the server and become local names: an entry
// that is not a direct child of the listed folder, or whose name is "",
// "." or ".." or holds a NUL, is skipped, so nothing is written outside
// the chosen local folder and the walk always goes deeper.
//
// Runs on the caller's thread with synchronous web API calls.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace nb {
class RetFileList;
class TransPortDB;
struct CompareItem;
}  // namespace nb

namespace nb::transfer {

class SaveFolderList {
 public:
  struct Source {
    std::int64_t mountid = 0;
    std::string messageid;   // chat message id; "" for library folders
    std::string dialogid;    // chat dialog id; "" for library folders
    std::int64_t permission = 0;  // the library's permission bits for read checks
    // Told of every list call that failed; may be empty.
    std::function<void(const RetFileList&)> onFailure;
  };

  SaveFolderList(TransPortDB& store, Source source);

  // Queues everything below the cloud folder `webpath` into the local
  // folder `savepath`. A failed list call ends that folder's listing; what
  // was queued stays.
  void queueFolder(const std::string& webpath, const std::string& savepath);

  // The local name of a listed entry at `entryPath` in folder `folder`, or
  // nothing when the entry must not become a local path.
  static std::optional<std::string> localName(const std::string& entryPath,
                                              const std::string& folder);

 private:
  void queueEntry(const CompareItem& entry, const std::string& folder,
                  const std::string& savepath);

  TransPortDB& store_;
  const Source source_;
};

}  // namespace nb::transfer
