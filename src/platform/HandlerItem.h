#pragma once
// One file-system event as the folder watchers hand it out: the sync
// engine's folder watcher and the watcher of files opened for editing both
// deliver batches of these.

#include <cstdint>
#include <string>

namespace nb::platform {

struct HandlerItem {
  std::string path;     // absolute path of the item, never with a trailing "/"
  int64_t type = 0;     // 0 file, 1 folder, 2 symbolic link
  // Grows over time. The two halves of one move are the only neighbours
  // (old path n, new path n + 1); every other event is a multiple of 4 apart.
  int64_t itemid = 0;
  bool bCreate = false;
  bool bRemove = false;
  bool bRename = false;  // one half of a rename or move
  bool bModify = false;
  // Set by the batch decoding when the item was taken as the new half of a
  // rename; false as delivered.
  bool bUse = false;
};

}  // namespace nb::platform
