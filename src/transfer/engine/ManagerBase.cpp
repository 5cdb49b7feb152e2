#include "transfer/engine/ManagerBase.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/Log.h"
#include "transfer/engine/TaskOperation.h"
#include "transfer/engine/WebpathMatch.h"
#include "transfer/records/TransferRecords.h"

namespace nb {

using namespace std::chrono_literals;

namespace {
constexpr auto kSessionDownSleep = 2s;
constexpr auto kHeldSleep = 2s;
constexpr auto kPassSleep = 100ms;
constexpr std::uint64_t kResetErrorInterval = 61;  // seconds
}  // namespace

ManagerBase::ManagerBase(std::string threadName, Context context)
    : threadName_(std::move(threadName)), context_(std::move(context)) {}

ManagerBase::~ManagerBase() { shutdown(); }

void ManagerBase::shutdown() {
  std::unique_ptr<platform::StoppableThread> thread;
  {
    std::lock_guard lock(threadMutex_);
    thread = std::move(thread_);
  }
  thread.reset();  // requests the stop and joins
  {
    std::lock_guard lock(runningMutex_);
    for (const auto& task : running_) task->Stop();
  }
  queue_.waitUntilAllOperationsAreFinished();
}

void ManagerBase::setTaskFactory(TransferTaskFactory factory) {
  std::lock_guard lock(factoryMutex_);
  factory_ = std::move(factory);
  missingFactoryLogged_ = false;
}

// --- Life cycle ---------------------------------------------------------------------

void ManagerBase::start() {
  std::lock_guard lock(threadMutex_);
  if (thread_) {
    // An earlier loop may not have seen its exit yet: it must end before
    // another starts, or two loops would dispatch side by side.
    thread_->requestStop();
    thread_->join();
  }
  thread_ = std::make_unique<platform::StoppableThread>(
      threadName_, [this](platform::StoppableThread& thread) { Run(thread); });
}

void ManagerBase::exit() {
  std::lock_guard lock(threadMutex_);
  if (thread_) thread_->requestStop();
}

bool ManagerBase::isStarted() const {
  std::lock_guard lock(threadMutex_);
  return thread_ && !thread_->stopRequested();
}

void ManagerBase::SetMax(std::int64_t max) {
  nTaskMax_ = max;
  queue_.setMaxConcurrentOperationCount(static_cast<int>(std::clamp<std::int64_t>(max, 0, 1024)));
}

// --- The loop -----------------------------------------------------------------------

void ManagerBase::Run(platform::StoppableThread& thread) {
  while (!thread.stopRequested()) {
    if (!context_.gate.sessionUp()) {
      thread.sleepFor(kSessionDownSleep);
      continue;
    }
    CheckFinishorError();
    if (!waitForWork(thread)) continue;
    dispatch(thread);
    // A task that ends frees its slot: the next pass comes at once rather
    // than at the end of the period.
    waitForTransStart(thread, kPassSleep);
  }
}

void ManagerBase::dispatch(platform::StoppableThread& thread) {
  while (runningCount() < static_cast<std::size_t>(std::max<std::int64_t>(nTaskMax_, 0))) {
    if (thread.stopRequested()) return;
    // The session is asked again here, not only at the start of a pass: an
    // idle loop stays in this loop, and must not start work after a sign-out
    // or with the network gone.
    if (!context_.gate.sessionUp() || !context_.gate.transfersAllowed() ||
        context_.transActions.busy()) {
      thread.sleepFor(kHeldSleep);
      return;
    }
    CheckFinishorError();
    switch (dispatchOne(thread)) {
      case Step::kStarted:
      case Step::kRetry:
        continue;
      case Step::kLeave:
        return;
    }
  }
}

ManagerBase::Step ManagerBase::dispatchOne(platform::StoppableThread& thread) {
  std::unique_lock list(pendingMutex_);
  if (pending_.empty()) {
    std::vector<TransTaskItem> jobs = fetchWaiting();
    pending_.assign(std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end()));
  }
  if (pending_.empty()) {
    list.unlock();
    if (!thread.sleepFor(emptyPollSleep())) return Step::kLeave;  // told to end
    resetErrorsWhenDue();
    return Step::kRetry;
  }
  // A bulk add may have opened after the pass looked and queued the very
  // records just fetched: asked again now, they wait for it.
  if (context_.transActions.busy()) return Step::kLeave;
  TransTaskItem item = pending_.front();
  bool blocked = false;
  {
    std::lock_guard lock(runningMutex_);
    // A record whose own task still runs (it was started again meanwhile)
    // waits as well: two tasks would write one temporary file.
    blocked = heldBackLocked(item) ||
              std::any_of(running_.begin(), running_.end(),
                          [&](const auto& task) { return task->nIndex() == item.nIndex; });
  }
  if (blocked) {
    pending_.pop_front();  // stays waiting in the store; a later fetch offers it again
    return Step::kLeave;
  }
  if (item.nIndex == 0) {
    pending_.pop_front();
    return Step::kRetry;
  }
  TransferTaskFactory factory;
  {
    std::lock_guard lock(factoryMutex_);
    factory = factory_;
  }
  std::shared_ptr<TransferTask> task = factory ? factory(item) : nullptr;
  if (!task) {
    if (!missingFactoryLogged_.exchange(true)) {
      NBLOG_ERROR("{}: no transfer task could be made for record {}; dispatch waits",
                  threadName_, item.nIndex);
    }
    list.unlock();
    thread.sleepFor(kHeldSleep);
    return Step::kLeave;
  }
  markStarted(item.nIndex);
  pending_.pop_front();
  auto operation = std::make_shared<TaskOperation>(
      task, [this](TransferTask& failed) { onTaskException(failed); }, [this] { SetTransStart(); });
  std::lock_guard lock(runningMutex_);
  running_.push_back(task);
  queue_.addOperation(operation);
  return Step::kStarted;
}

void ManagerBase::resetErrorsWhenDue() {
  const std::uint64_t now = platform::nowSeconds();
  const std::uint64_t last = ullResetTime_.load();
  if (last != 0 && now < last + kResetErrorInterval) return;  // the first empty poll resets
  resetErrors();
  ullResetTime_ = now;
}

std::size_t ManagerBase::runningCount() {
  std::lock_guard lock(runningMutex_);
  return running_.size();
}

void ManagerBase::waitForTransStart(platform::StoppableThread& thread,
                                    std::chrono::nanoseconds limit) {
  transStart_.sleepFor(limit, thread.stopToken());
}

void ManagerBase::SetTransStart() { transStart_.wake(); }

// --- Commands -------------------------------------------------------------------------

void ManagerBase::clearPending() {
  std::lock_guard lock(pendingMutex_);
  pending_.clear();
}

void ManagerBase::Stop(std::int64_t id) {
  clearPending();
  std::lock_guard lock(runningMutex_);
  for (const auto& task : running_) {
    if (task->nIndex() == id) {
      task->Stop();
      break;
    }
  }
}

void ManagerBase::Delete(std::int64_t id) {
  clearPending();
  std::lock_guard lock(runningMutex_);
  for (const auto& task : running_) {
    if (task->nIndex() == id) {
      task->Delete();
      break;
    }
  }
}

void ManagerBase::StopAll() {
  clearPending();
  std::lock_guard lock(runningMutex_);
  for (const auto& task : running_) task->Stop();
}

void ManagerBase::DeleteAll() {
  clearPending();
  std::lock_guard lock(runningMutex_);
  for (const auto& task : running_) {
    if (!task->item().bSync) task->Delete();
  }
}

void ManagerBase::ClearTrans(const std::string& webpath, std::int64_t mountid) {
  clearPending();
  std::lock_guard lock(runningMutex_);
  std::erase_if(running_, [&](const std::shared_ptr<TransferTask>& task) {
    const TransTaskItem item = task->item();
    if (item.nMountid != mountid || !isAtOrUnder(item.strWebpath, webpath)) return false;
    task->Delete();
    return true;
  });
}

void ManagerBase::RenameWebpath(std::int64_t mountid, const std::string& oldwebpath,
                                const std::string& newwebpath) {
  clearPending();
  std::lock_guard lock(runningMutex_);
  for (const auto& task : running_) {
    task->updateItem([&](TransTaskItem& item) {
      if (item.nMountid != mountid) return;
      if (auto renamed = renamedWebpath(item.strWebpath, oldwebpath, newwebpath)) {
        item.strWebpath = std::move(*renamed);
      }
    });
  }
}

// --- Queries --------------------------------------------------------------------------

void ManagerBase::CheckFinishorError() {
  std::vector<std::shared_ptr<TransferTask>> ended;
  {
    std::lock_guard lock(runningMutex_);
    std::erase_if(running_, [&](const std::shared_ptr<TransferTask>& task) {
      if (task->nStatus() != kTransEnded) return false;
      ended.push_back(task);
      return true;
    });
  }
  for (const auto& task : ended) task->releaseSources();
}

std::uint64_t ManagerBase::GetSpeed() {
  std::size_t count = 0;
  std::uint64_t last = 0;
  {
    std::lock_guard lock(runningMutex_);
    count = running_.size();
    for (const auto& task : running_) last = task->GetSpeed();
  }
  const std::uint64_t now = TransferTask::monotonicSeconds();
  std::lock_guard lock(speedMutex_);
  if (ullSpeedTime_ == 0) {
    ullSpeedTime_ = now;
    return last;
  }
  if (count == 0) {
    ullSpeedTime_ = now;
    ullSpeedTrans_ = 0;
    speedWindow_.clear();
    return 0;
  }
  std::uint64_t sample = 0;
  if (now > ullSpeedTime_) {
    sample = ullSpeedTrans_ / (now - ullSpeedTime_);
    ullSpeedTime_ = now;
    ullSpeedTrans_ = 0;
  }
  speedWindow_.push_back(sample);
  if (speedWindow_.size() > kSpeedSamples) speedWindow_.pop_front();
  std::uint64_t sum = 0;
  for (std::uint64_t s : speedWindow_) sum += s;
  return sum / speedWindow_.size();
}

std::uint64_t ManagerBase::GetSpeed(std::int64_t id) {
  std::lock_guard lock(runningMutex_);
  for (const auto& task : running_) {
    if (task->nIndex() == id) return task->GetSpeed();
  }
  return 0;
}

std::uint64_t ManagerBase::GetOffset(std::int64_t id) {
  std::lock_guard lock(runningMutex_);
  for (const auto& task : running_) {
    if (task->nIndex() == id) return task->item().ullOffset + task->ullBlockOffset();
  }
  return 0;
}

std::vector<TransTaskItem> ManagerBase::GetAll() {
  std::vector<TransTaskItem> out;
  std::lock_guard lock(runningMutex_);
  for (const auto& task : running_) {
    TransTaskItem item = task->item();
    if (item.nStatus == kTransEnded) continue;
    item.ullOffset += task->ullBlockOffset();
    item.strFilehash.clear();
    item.strStoragePoint.clear();
    out.push_back(std::move(item));
  }
  return out;
}

std::int64_t ManagerBase::GetTransCount() {
  std::lock_guard lock(runningMutex_);
  return std::count_if(running_.begin(), running_.end(),
                       [](const auto& task) { return task->nStatus() != kTransEnded; });
}

TransTaskItem ManagerBase::GetTransInfo(const std::string& webpath, std::int64_t mountid) {
  std::lock_guard lock(runningMutex_);
  for (const auto& task : running_) {
    const TransTaskItem item = task->item();
    if (item.nMountid != mountid || item.strWebpath != webpath) continue;
    TransTaskItem copy;
    copy.nIndex = item.nIndex;
    copy.nMountid = item.nMountid;
    copy.nStatus = item.nStatus;
    copy.nExpand = item.nExpand;
    copy.ullFilesize = item.ullFilesize;
    copy.ullOffset = item.ullOffset;
    copy.ullSpeed = item.ullSpeed;
    return copy;
  }
  return {};
}

void ManagerBase::AddSpeedTrans(std::uint64_t bytes) {
  std::lock_guard lock(speedMutex_);
  ullSpeedTrans_ += bytes;
}

}  // namespace nb
