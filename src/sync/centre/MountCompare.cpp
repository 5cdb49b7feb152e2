#include "sync/centre/MountCompare.h"

#include "platform/Clock.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb {
namespace {

// Clears bInWork however the pass ends.
class InWorkRelease {
 public:
  explicit InWorkRelease(SyncManager& manager) : manager_(manager) {}
  ~InWorkRelease() { manager_.bInWork = false; }
  InWorkRelease(const InWorkRelease&) = delete;
  InWorkRelease& operator=(const InWorkRelease&) = delete;

 private:
  SyncManager& manager_;
};

}  // namespace

void MountCompare::main() {
  SyncManager& m = *manager_;
  try {
    InWorkRelease release(m);
    m.bCompareHaveData = false;
  } catch (...) {
    // A failing pass ends here; the next cycle queues the library again.
  }
  Syncdb& store = m.syncdb();
  if (static_cast<double>(platform::nowSeconds()) - store.ftBackupTime() > kBackupInterval) {
    store.backup();
  }
  if (m.bCompareHaveData) center_.setBCompareNow(true);
}

}  // namespace nb
