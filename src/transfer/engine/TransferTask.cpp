#include "transfer/engine/TransferTask.h"

#include <chrono>

#include "platform/Clock.h"
#include "transfer/records/TransferRecords.h"

namespace nb {

TransferTask::TransferTask(TransTaskItem item) : item_(std::move(item)) {
  item_.nStatus = kTransRunning;
}

bool TransferTask::Stop() {
  markStopped(false);
  stopPeers(false);
  stopSources(false);
  return true;
}

bool TransferTask::Delete() {
  markStopped(true);
  stopPeers(true);
  stopSources(true);
  return true;
}

void TransferTask::markStopped(bool deleting) {
  {
    std::lock_guard lock(itemMutex_);
    if (item_.nStatus == kTransRunning) item_.nStatus = kTransStopped;
  }
  bDelete_.store(deleting);
  bStop_.store(true);
}

void TransferTask::stopPeers(bool deleting) {
  for (const auto& peer : peers()) peer->Stop(deleting);
}

void TransferTask::addPeer(std::shared_ptr<PeerBase> peer) {
  std::lock_guard lock(pLocksc_);
  listPeer_.push_back(std::move(peer));
}

std::vector<std::shared_ptr<PeerBase>> TransferTask::peers() const {
  std::lock_guard lock(pLocksc_);
  return listPeer_;
}

void TransferTask::clearPeers() {
  std::vector<std::shared_ptr<PeerBase>> dropped;
  {
    std::lock_guard lock(pLocksc_);
    dropped.swap(listPeer_);
  }
}

bool TransferTask::CheckFinish() {
  const std::uint64_t size = item().ullFilesize;
  std::lock_guard lock(pFilesc_);
  return pFinish_.Size() == size;
}

TransTaskItem TransferTask::item() const {
  std::lock_guard lock(itemMutex_);
  return item_;
}

void TransferTask::updateItem(const std::function<void(TransTaskItem&)>& change) {
  std::lock_guard lock(itemMutex_);
  change(item_);
}

std::int64_t TransferTask::nIndex() const {
  std::lock_guard lock(itemMutex_);
  return item_.nIndex;
}

std::int64_t TransferTask::nStatus() const {
  std::lock_guard lock(itemMutex_);
  return item_.nStatus;
}

void TransferTask::setNStatus(std::int64_t status) {
  std::lock_guard lock(itemMutex_);
  item_.nStatus = status;
}

std::uint64_t TransferTask::GetSpeed() {
  ullSpeed_.store(0);
  const std::uint64_t start = ullStarttime_.load();
  const std::uint64_t moved = ullTranssize_.load();
  const std::uint64_t now = monotonicSeconds();
  if (start == 0 || moved == 0 || now <= start) return 0;
  const std::uint64_t speed = moved / (now - start);
  ullSpeed_.store(speed);
  std::lock_guard lock(itemMutex_);
  item_.ullSpeed = speed;
  return speed;
}

std::uint64_t TransferTask::monotonicSeconds() {
  const auto since = platform::monotonicNow().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(since).count());
}

}  // namespace nb
