#include "shell/tasks/CheckOldVersion.h"

#include <exception>
#include <memory>

#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "platform/Log.h"
#include "platform/OperationQueue.h"

namespace nb {

void CheckOldVersion::main() {
  try {
    UserData::shareUserData().changeOldVersion();
  } catch (const std::exception& e) {
    NBLOG_ERROR("old store migration failed: {}", e.what());
  }
}

bool queueCheckOldVersion(platform::OperationQueue& queue) {
  return queue.addOperation(std::make_shared<CheckOldVersion>());
}

bool queueCheckOldVersion() {
  const auto queue = Util::getAppDelegate()->taskQueue();
  if (!queue) {
    NBLOG_ERROR("no task queue for the old store migration");
    return false;
  }
  return queueCheckOldVersion(*queue);
}

}  // namespace nb
