#pragma once
// Saves library files and folders into local folders: each item becomes
// download records in the transfer store (a file after the open call gave
// its size and content hash, a folder with its whole contents, walked
// through the list call), inside one store transaction and with dispatch
// paused, so the download engine meets the batch whole. A folder named in
// the list is recorded after its contents, folders met while walking
// before theirs.
//
// An operation for the application's task queue; runs once.

#include <cstdint>
#include <string>
#include <vector>

#include "api/models/TransportItem.h"
#include "platform/Operation.h"
#include "transfer/jobs/SaveItem.h"

namespace nb::transfer {

class FileSaveAs final : public platform::Operation {
 public:
  explicit FileSaveAs(std::vector<SaveItem> saveItems) : _saveItems(std::move(saveItems)) {}

  // The whole job on the caller's thread (the queue calls it on its own).
  void main() override;

  // Queues the contents of one cloud folder into `savepath`, recursively.
  static void GetFileList(const std::string& webpath, std::int64_t mountid,
                          const std::string& savepath);

 private:
  static void queueFile(const SaveItem& item, TransportItem& record);

  const std::vector<SaveItem> _saveItems;
};

}  // namespace nb::transfer
