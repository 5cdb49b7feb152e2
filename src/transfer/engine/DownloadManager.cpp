#include "transfer/engine/DownloadManager.h"

#include <algorithm>

#include "stores/cache/SyncCache.h"
#include "stores/transfer/TransPortDB.h"
#include "transfer/records/TransferRecords.h"

namespace nb {

using namespace std::chrono_literals;

DownloadManager::DownloadManager(Context context,
                                 std::function<void(std::int64_t)> realCountChanged)
    : ManagerBase("nb-download", std::move(context)),
      realCountChanged_(std::move(realCountChanged)) {}

DownloadManager::~DownloadManager() { shutdown(); }

bool DownloadManager::CheckHaveDownloading(const TransTaskItem& item) {
  std::lock_guard lock(runningMutex_);
  return heldBackLocked(item);
}

std::vector<TransTaskItem> DownloadManager::fetchWaiting() {
  return context().store.Get_Downloads();
}

void DownloadManager::markStarted(std::int64_t id) {
  context().store.Update_DownloadStartActlast(id);
}

void DownloadManager::resetErrors() { context().store.ResetDownloadError(); }

bool DownloadManager::waitForWork(platform::StoppableThread& thread) {
  if (context().pendingCount && context().pendingCount() != 0) return true;
  waitForTransStart(thread, 2s);
  return false;
}

std::chrono::milliseconds DownloadManager::emptyPollSleep() const { return 1s; }

bool DownloadManager::heldBackLocked(const TransTaskItem& item) const {
  return std::any_of(running_.begin(), running_.end(), [&](const auto& task) {
    const TransTaskItem other = task->item();
    return other.nIndex != item.nIndex && other.strFilehash == item.strFilehash;
  });
}

void DownloadManager::onTaskException(TransferTask& task) {
  context().store.Update_DownloadError(task.nIndex(), TransError::kTaskFailed,
                                       TransErrorText::kTaskFailed);
}

std::shared_ptr<DownloadTransferTask> DownloadManager::findByHashLocked(
    const std::string& filehash) const {
  for (const auto& task : running_) {
    if (task->item().strFilehash != filehash) continue;
    if (auto download = std::dynamic_pointer_cast<DownloadTransferTask>(task)) return download;
  }
  return nullptr;
}

void DownloadManager::AddUdpPeer(const JsonValue& notice) {
  if (!notice.isArray() || notice.size() < 2) return;
  if (notice.size() != 2 && notice.size() != 6) return;
  const std::string filehash(notice[1].asString());
  // The hash comes off the network: only a well-formed one may pick a task.
  if (!isContentHash(filehash)) return;
  const std::string address(notice[0].asString());
  std::lock_guard lock(runningMutex_);
  const auto task = findByHashLocked(filehash);
  if (!task) return;
  if (notice.size() == 2) {
    task->AddUdpPeer(address);
  } else {
    task->AddUdpPeer(address, notice[4].toFlag(), notice[5].toFlag(), notice[2].toInt64(),
                     std::string(notice[3].asString()));
  }
}

std::optional<DownloadManager::DownloadFileInfo> DownloadManager::GetDownloadInfo(
    const std::string& filehash) {
  std::lock_guard lock(runningMutex_);
  const auto task = findByHashLocked(filehash);
  if (!task) return std::nullopt;
  const TransTaskItem item = task->item();
  return DownloadFileInfo{item.strTemppath, item.ullFilesize};
}

std::optional<DownloadManager::DownloadHaveInfo> DownloadManager::GetDownloadHaveInfo(
    const std::string& filehash) {
  std::lock_guard lock(runningMutex_);
  const auto task = findByHashLocked(filehash);
  if (!task) return std::nullopt;
  return DownloadHaveInfo{task->bHttpAble(), task->bHttpStart(), task->haveRanges()};
}

void DownloadManager::StopDownloadForOpen() {
  clearPending();
  const std::int64_t unfinished = context().store.GetDownloadCountAll();
  if (realCountChanged_) realCountChanged_(unfinished);
  SetTransStart();
  std::lock_guard lock(runningMutex_);
  for (const auto& task : running_) {
    if (task->item().nExpand == DownloadKind::kOpen) continue;
    task->setBNormal(true);
    task->Stop();
  }
}

}  // namespace nb
