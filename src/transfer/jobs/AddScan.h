#pragma once
// Queues the uploads of a local folder tree that the user added into a
// cloud folder: one waiting upload record per file and folder below it
// (a folder's record before its contents), every record's parent the top
// cloud folder, with dispatch paused and in one store transaction. With a
// sync manager for the library the manager queues them as sync records.
//
// Names beginning with "." and system-ignored names are skipped with all
// below them. Symbolic links are followed, but a folder already on the
// walk (a link to itself or to an ancestor) is never entered again, so
// link loops end; items that are neither files nor folders (sockets,
// pipes, devices, dangling links) are skipped.
//
// An operation for the application's task queue; runs once.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/Operation.h"

namespace nb::transfer {

class AddScan final : public platform::Operation {
 public:
  AddScan(std::int64_t mountid, std::string webpath, std::string fullpath)
      : nMountid(mountid), strWebpath(std::move(webpath)), strFullpath(std::move(fullpath)) {}

  // The whole job on the caller's thread (the queue calls it on its own).
  void main() override;

  // Queues the tree below local folder `fullpath` as the contents of cloud
  // folder `webpath`, each record with parent `parent`. False when the walk
  // was stopped before its end.
  bool AddUploadSubFiles(const std::string& webpath, const std::string& fullpath,
                         const std::string& parent);

 private:
  using FolderId = std::pair<dev_t, ino_t>;

  bool walk(const std::string& webpath, const std::string& fullpath, const std::string& parent,
            std::vector<FolderId>& chain);

  const std::int64_t nMountid;
  const std::string strWebpath;
  const std::string strFullpath;
};

// Makes this job the one the sync engine starts when a page adds a local
// folder (queued on the application's task queue). Call once at start-up.
void registerAddScanStarter();

}  // namespace nb::transfer
