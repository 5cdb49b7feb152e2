#include "sync/centre/CoordinatorLoop.h"

#include <ctime>
#include <exception>

#include "platform/Clock.h"
#include "platform/StoppableThread.h"
#include "sync/centre/AbsoluteTime.h"

namespace nb {
namespace {

bool due(const std::optional<double>& last, double now, double interval) {
  return !last || now - *last > interval;
}

}  // namespace

bool CoordinatorLoop::begin() {
  lastTrim_ = absoluteTime();
  steps_.prepare();
  return !steps_.bOut();
}

CoordinatorLoop::PassEnd CoordinatorLoop::pass() {
  try {
    return steps(absoluteTime());
  } catch (...) {
    // A failing step ends only this pass; the next one comes at once.
    return PassEnd::kAgain;
  }
}

CoordinatorLoop::PassEnd CoordinatorLoop::steps(double now) {
  const bool socketIO = steps_.bSocketIO();
  renames(now);
  trim(now);
  backups();
  if (refreshDue(now, socketIO)) {
    if (steps_.refreshCatalogue() == -1) return PassEnd::kStop;
    lastRefresh_ = absoluteTime();
    steps_.afterRefresh();
  }
  cycle(now);
  return PassEnd::kSleep;
}

void CoordinatorLoop::renames(double now) {
  if (!due(lastRename_, now, kRenameInterval)) return;
  if (steps_.retryRenames()) lastRename_ = now;
}

void CoordinatorLoop::trim(double now) {
  if (now - lastTrim_ <= kTrimInterval) return;
  steps_.trimCache();
  lastTrim_ = now;
}

// The stores stamp their backups in wall-clock seconds.
void CoordinatorLoop::backups() {
  const double wallNow = static_cast<double>(platform::nowSeconds());
  if (wallNow - steps_.catalogueBackupTime() > kBackupInterval) steps_.backupStores();
}

bool CoordinatorLoop::refreshDue(double now, bool socketIO) {
  const double interval = socketIO ? kRefreshIntervalPushUp : kRefreshIntervalPushDown;
  return due(lastRefresh_, now, interval) || steps_.bRegetServer();
}

void CoordinatorLoop::cycle(double now) {
  if (cycleStarted_ && steps_.compareQueueEmpty()) {
    drained_ = absoluteTime();
    cycleStarted_ = false;
  }
  const bool idleLongEnough =
      !cycleStarted_ && steps_.compareQueueEmpty() && due(drained_, now, kIdleCycleInterval);
  if (idleLongEnough || steps_.bCompareNow()) {
    steps_.startCycle();
    cycleStarted_ = true;
  }
}

void CoordinatorLoop::run(platform::StoppableThread& thread) {
  if (thread.stopRequested() || !begin()) return;
  for (;;) {
    const PassEnd end = pass();
    if (end == PassEnd::kStop) return;
    if (end == PassEnd::kSleep) thread.sleepFor(kPassInterval);
    if (steps_.bOut() || thread.stopRequested()) return;
  }
}

}  // namespace nb
