#pragma once
// What an upload needs from around it, gathered so that tests can stand up a
// task against their own store and record what it hands on. Unset members
// take the process-wide services: the shared transfer store, the engine's
// upload manager and progress channel, the sync centre's managers and the
// registered hand-overs to the sync engine.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "api/models/TransTaskItem.h"

namespace nb {

class SyncManager;
class TransPortDB;

// How a finished or failed upload reaches its library's sync manager. The
// sync engine registers these at start-up; until then each hand-over logs
// an error and answers false, and the upload's record keeps its state.
struct UploadHandOver {
  // The upload completed (status 4): commit the row, finish the record,
  // cache the content.
  std::function<void(SyncManager&, const TransTaskItem&)> UploadFinish;
  // A folder was created, or the server already held the content.
  std::function<void(SyncManager&, const TransTaskItem&)> UploadFinishOutFile;
  // The upload failed (status 5) with a number and a text.
  std::function<void(SyncManager&, const TransTaskItem&, std::int64_t, const std::string&)>
      UploadError;
};

// Registers the process-wide hand-overs; an empty set restores the logging
// stand-ins. Safe from any thread.
void setUploadHandOver(UploadHandOver handOver);
UploadHandOver uploadHandOver();

struct UploadEnvironment {
  TransPortDB* store = nullptr;
  // The upload manager's speed window.
  std::function<void(std::uint64_t)> addSpeed;
  // Pushes the item to the upload progress channel.
  std::function<void(const TransTaskItem&)> sendCallback;
  // The library's sync manager, or null.
  std::function<std::shared_ptr<SyncManager>(std::int64_t)> syncManager;
  // Unset members: the registered hand-overs.
  UploadHandOver handOver;

  // A copy with every unset member filled from the process-wide services.
  UploadEnvironment resolved() const;
  TransPortDB& transStore() const;
};

}  // namespace nb
