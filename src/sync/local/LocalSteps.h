#pragma once
// The steps the local event handlers and the local tree scan share: which
// local paths count, how an item is measured, how rows are made for what
// the user added, and how transfers, pages and the compare cycle are told.
//
// Every step that touches rows expects the caller to hold the manager's
// controllock (ControlHold gives it where the caller may not).

#include <cstdint>
#include <string>

#include "stores/syncdb/SyncFileItem.h"

namespace nb {

class SyncManager;

namespace local {

// Holds controllock for a scope unless the calling thread already holds it
// (a scan reached from an event handler runs inside the handler's hold).
class ControlHold {
 public:
  explicit ControlHold(SyncManager& manager);
  ~ControlHold();
  ControlHold(const ControlHold&) = delete;
  ControlHold& operator=(const ControlHold&) = delete;

 private:
  SyncManager& manager_;
  const bool taken_;
};

// The ignore rules on an absolute local path, read from below the linked
// folder that holds it (the linked folder's own path never decides).
bool ignoredLocal(SyncManager& manager, const std::string& path);
// The ignore rules on a web path of the library.
bool ignoredWeb(const std::string& webpath);

// When the last name begins or ends with a space, the item is renamed on
// disk without them; answers the path to go on with (the new one, even when
// the rename failed, as the rest of the step expects).
std::string fixSpaces(const std::string& path);

// A symbolic link that is not a link to a folder (to a file, or dangling):
// never synced, as the upload would send the target while the row keeps
// the link's own size and time.
bool isFileLink(const std::string& path);
// A link to a folder that is the item's own folder or one above it:
// walking it would never end.
bool leadsToAncestor(const std::string& path);

// Size as rows keep it: 0 for a folder.
uint64_t itemSize(const std::string& path, bool dir);

// A row for a local item the user added: status 1, no content hash yet, the
// signed-in user as last editor. nUpID is left for the caller.
SyncFileItem newLocalRow(const std::string& webpath, const std::string& path, bool dir,
                         uint64_t size, uint64_t lasttime);

// The transfer queue, each followed by a reload of that transfer list.
void queueUpload(SyncManager& manager, const SyncFileItem& row, const std::string& path);
void queueDownload(SyncManager& manager, const SyncFileItem& row, const std::string& path);
// "reget" to the pages following the upload list.
void regetUploads();
// Running transfers at and below the web path are dropped.
void dropTransfers(const SyncManager& manager, const std::string& webpath);

// "UpdateFileList" to the windows showing exactly that folder.
void tellFolder(const SyncManager& manager, const std::string& webfolder);
// The next compare pass pulls at once and the centre starts a cycle now.
void askCompare(SyncManager& manager);

// A row whose parent id names no row any more gets the id of its parent
// folder's row, with every other row that carries the stale id.
void repairParent(SyncManager& manager, const SyncFileItem& row);

}  // namespace local
}  // namespace nb
