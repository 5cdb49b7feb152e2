#include "transfer/engine/UploadManager.h"

#include <algorithm>

#include "platform/Clock.h"
#include "stores/transfer/TransPortDB.h"

namespace nb {

using namespace std::chrono_literals;

namespace {
// An upload whose body threw is offered again after this long: soon enough
// not to hang, late enough not to spin on a fault that repeats.
constexpr std::uint64_t kExceptionRetryDelay = 60;
}  // namespace

UploadManager::UploadManager(Context context) : ManagerBase("nb-upload", std::move(context)) {}

UploadManager::~UploadManager() { shutdown(); }

bool UploadManager::CheckHaveUploading(const TransTaskItem& item) {
  std::lock_guard lock(runningMutex_);
  return heldBackLocked(item);
}

std::vector<TransTaskItem> UploadManager::fetchWaiting() { return context().store.Get_Uploads(); }

void UploadManager::markStarted(std::int64_t id) { context().store.Update_UploadStartActlast(id); }

void UploadManager::resetErrors() { context().store.ResetUploadError(); }

bool UploadManager::waitForWork(platform::StoppableThread& thread) {
  if (context().pendingCount && context().pendingCount() != 0) return true;
  thread.sleepFor(2s);
  return false;
}

std::chrono::milliseconds UploadManager::emptyPollSleep() const { return 100ms; }

bool UploadManager::heldBackLocked(const TransTaskItem& item) const {
  return std::any_of(running_.begin(), running_.end(), [&](const auto& task) {
    const TransTaskItem other = task->item();
    return other.nIndex != item.nIndex && other.nMountid == item.nMountid &&
           other.strWebpath == item.strWebpath;
  });
}

void UploadManager::onTaskException(TransferTask& task) {
  context().store.Update_UploadActlast(task.nIndex(), kTransWaiting,
                                       platform::nowSeconds() + kExceptionRetryDelay);
}

}  // namespace nb
