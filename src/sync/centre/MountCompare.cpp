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
  ~InWorkRelease() { release(); }
  void release() { manager_.bInWork = false; }
  InWorkRelease(const InWorkRelease&) = delete;
  InWorkRelease& operator=(const InWorkRelease&) = delete;

 private:
  SyncManager& manager_;
};

}  // namespace

void MountCompare::main() {
  SyncManager& m = *manager_;
  InWorkRelease inWork(m);
  try {
    m.bCompareHaveData = false;
    const bool pulled = m.bNeedCompare && m.checkCanCompare() && m.receive_from_server();
    m.comparenow();
    if (!m.bScaned.exchange(true)) {
      m.scanlink();
      m.scandel();
    }
    m.commit();
    if (pulled && center_.bSocketIO()) m.resetCanCompare();
    inWork.release();
    Syncdb& store = m.syncdb();
    if (static_cast<double>(platform::nowSeconds()) - store.ftBackupTime() > kBackupInterval) {
      store.backup();
    }
    if (m.bCompareHaveData) center_.setBCompareNow(true);
  } catch (...) {
    // The pass ends here; the guard has released the library, so the next
    // cycle queues it again.
  }
}

}  // namespace nb
