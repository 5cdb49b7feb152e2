#include "sync/local/Directoryhandler.h"

#include <algorithm>

#include "foundation/text/StringHelpers.h"
#include "platform/Log.h"
#include "sync/local/DirectoryhandlerTask.h"

namespace nb {

std::shared_ptr<Directoryhandler> Directoryhandler::initpath(const std::string& root) {
  return initpath(root, {});
}

std::shared_ptr<Directoryhandler> Directoryhandler::initpath(
    const std::string& root, platform::FolderWatcher::Options options) {
  return std::shared_ptr<Directoryhandler>(new Directoryhandler(root, std::move(options)));
}

Directoryhandler::Directoryhandler(std::string root, platform::FolderWatcher::Options options)
    : srcPath_(lastaddslash(lastremoveslash(root))),
      taskqueue_(std::make_unique<platform::OperationQueue>(1)),
      watcher_(
          srcPath_, [this](std::vector<HandlerItem> batch) { _SCEventsCallBack(std::move(batch)); },
          [this] { requestRescan(); }, std::move(options)) {}

Directoryhandler::~Directoryhandler() {
  isWatchingPaths_ = false;
  watcher_.stop();
  if (queueThread_.load() == std::this_thread::get_id()) {
    // The last batch let go of the handler on the queue's own worker, which
    // cannot join itself: the queue ends on a thread of its own once that
    // worker is back from the batch.
    std::thread([queue = std::move(taskqueue_)]() mutable { queue.reset(); }).detach();
  }
}

void Directoryhandler::AddManager(std::shared_ptr<LocalEventTarget> manager) {
  if (!manager) return;
  std::lock_guard lock(managersMutex_);
  if (std::find(managerlist_.begin(), managerlist_.end(), manager) == managerlist_.end()) {
    managerlist_.push_back(std::move(manager));
  }
}

void Directoryhandler::DelManager(const LocalEventTarget* manager) {
  std::lock_guard lock(managersMutex_);
  std::erase_if(managerlist_, [&](const auto& m) { return m.get() == manager; });
}

std::vector<std::shared_ptr<LocalEventTarget>> Directoryhandler::_managerlist() const {
  std::lock_guard lock(managersMutex_);
  return managerlist_;
}

void Directoryhandler::startMonitoringThread() {
  if (!isWatchingPaths_) {
    NBLOG_ERROR("the watcher of {} was stopped and is not restarted", srcPath_);
    return;
  }
  watcher_.start();
}

void Directoryhandler::stopMonitoring() {
  if (!isWatchingPaths_.exchange(false)) return;
  watcher_.stop();
  // An exited manager is never handed another event; the managers are let
  // go outside the lock, where the last holder may destroy one.
  std::vector<std::shared_ptr<LocalEventTarget>> released;
  std::lock_guard lock(managersMutex_);
  released.swap(managerlist_);
}

void Directoryhandler::_SCEventsCallBack(std::vector<HandlerItem> batch) {
  if (!isWatchingPaths_) return;
  std::shared_ptr<Directoryhandler> self = weak_from_this().lock();
  if (!self) return;
  // The reference moves into the queue: the calling thread keeps none, so
  // the watcher thread never ends up destroying its own handler.
  taskqueue_->addOperation(std::make_shared<DirectoryhandlerTask>(std::move(self), std::move(batch)));
}

void Directoryhandler::requestRescan() {
  NBLOG_INFO("rescanning the folders linked at {}", srcPath_);
  for (const auto& manager : _managerlist()) manager->requestFullRescan();
}

bool Directoryhandler::checkWatches() {
  if (!isWatchingPaths_ || !watcher_.lacksWatches() || watcher_.retryWatches()) return false;
  requestRescan();
  return true;
}

}  // namespace nb
