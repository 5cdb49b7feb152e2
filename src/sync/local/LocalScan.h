#pragma once
// One walk of a local folder against the sync store: every item the store
// does not know, or knows with other times, becomes upload pending (or is
// settled when only its times changed), folders first, depth first.
//
// The walk runs on its caller's thread. Each entry is decided and written
// under the manager's controllock (inside the caller's hold when the caller
// has one, else taken for that entry alone), never across a pause or a
// descent, so event handlers interleave between entries.

#include <cstdint>
#include <optional>
#include <string>

#include "stores/syncdb/SyncFileItem.h"

namespace nb {

class SyncManager;

class LocalScan {
 public:
  // Entries of a folder between two pauses.
  static constexpr size_t kEntriesPerPause = 20;

  explicit LocalScan(SyncManager& manager) : manager_(manager) {}

  // Walks `dir` and everything below it, then tells the pages showing it.
  void scandir(const std::string& dir);

 private:
  // Decides one entry; answers the folder to enter next, if any.
  std::optional<std::string> scanEntry(const std::string& entry, int64_t linkType);
  // A folder with its row `row` (nStatus -1 when none): whether to enter.
  bool scanFolder(const std::string& full, const std::string& webpath, SyncFileItem& row,
                  uint64_t lasttime);
  void scanFile(const std::string& full, const std::string& webpath, SyncFileItem& row,
                uint64_t lasttime);
  // A file whose row is neither in sync nor marked deleted, seen with a new
  // time: settled when its content is the row's, else uploaded.
  void rehashFile(const std::string& full, SyncFileItem& row, uint64_t size, uint64_t lasttime);
  // A new row at `webpath`, stored and queued for upload.
  void addRow(const std::string& full, const std::string& webpath, bool dir, uint64_t size,
              uint64_t lasttime);
  // The folder's row taken in afresh from the local folder, queued for upload.
  void readd(const std::string& full, SyncFileItem& row, uint64_t lasttime);

  SyncManager& manager_;
};

}  // namespace nb
