#pragma once
// One comparison pass of one library on the sync centre's compare queue.
// compareproc queues it with the manager's bInWork already set; the pass
// clears bInWork on every way out, so a failing pass never keeps its
// library out of later cycles.

#include <memory>

#include "platform/Operation.h"

namespace nb {

class SyncManager;
class SyncCenter;

class MountCompare final : public platform::Operation {
 public:
  // The store is backed up when its last backup is older than this many
  // seconds of wall time.
  static constexpr double kBackupInterval = 1800.0;

  MountCompare(std::shared_ptr<SyncManager> manager, SyncCenter& center)
      : manager_(std::move(manager)), center_(center) {}

  const std::shared_ptr<SyncManager>& _manager() const { return manager_; }

 protected:
  void main() override;

 private:
  const std::shared_ptr<SyncManager> manager_;
  SyncCenter& center_;
};

}  // namespace nb
