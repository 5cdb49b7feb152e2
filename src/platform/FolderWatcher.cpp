#include "platform/FolderWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/Log.h"

namespace nb::platform {
namespace {

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

int64_t kindOf(const std::string& path, uint32_t mask) {
  if (mask & IN_ISDIR) return 1;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return 2;
  return 0;
}

std::string procLimit(const char* name) {
  std::ifstream in(std::string("/proc/sys/fs/inotify/") + name);
  std::string value;
  if (!(in >> value)) value = "unknown";
  return value;
}

constexpr uint32_t kMoveMask = IN_MOVED_FROM | IN_MOVED_TO;

}  // namespace

FolderWatcher::FolderWatcher(std::string root, BatchHandler onBatch, RescanHandler onRescan)
    : FolderWatcher(std::move(root), std::move(onBatch), std::move(onRescan), Options{}) {}

FolderWatcher::FolderWatcher(std::string root, BatchHandler onBatch, RescanHandler onRescan,
                             Options options)
    : root_(withoutTrailingSlash(std::move(root))),
      onBatch_(std::move(onBatch)),
      onRescan_(std::move(onRescan)),
      options_(std::move(options)),
      inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
      inotifyErrno_(inotify_.ok() ? 0 : errno),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

FolderWatcher::~FolderWatcher() {
  stop();
  if (thread_.joinable()) {
    // Only reached when a callback destroyed its own watcher, which the
    // contract forbids; detaching beats terminating the process.
    NBLOG_ERROR("watcher of {} destroyed on its own thread", root_);
    thread_.detach();
  }
}

bool FolderWatcher::start() {
  if (started_.exchange(true)) return false;
  thread_ = std::thread([this] { run(); });
  return true;
}

void FolderWatcher::stop() {
  stopping_ = true;
  if (wake_.ok()) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
  }
  if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
  thread_.join();
  std::lock_guard lock(mutex_);
  watchingChanged_.notify_all();
}

bool FolderWatcher::waitUntilWatching(std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return watchingChanged_.wait_for(lock, limit, [&] { return watching_ || stopping_; }) &&
         watching_;
}

bool FolderWatcher::retryWatches() {
  std::lock_guard lock(mutex_);
  if (!watches_ || rootGone_) return !lacksWatches_;
  watchTree(root_);
  return !lacksWatches_;
}

void FolderWatcher::simulateOverflow() {
  overflowRequested_ = true;
  if (wake_.ok()) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
  }
}

bool FolderWatcher::openInotify() {
  if (inotify_.ok()) return true;
  const int error = inotifyErrno_;
  if (error == EMFILE) {
    NBLOG_ERROR("cannot watch {}: the inotify instance limit fs.inotify.max_user_instances ({}) "
                "is reached; raise it (sysctl fs.inotify.max_user_instances)",
                root_, procLimit("max_user_instances"));
  } else {
    NBLOG_ERROR("cannot watch {}: inotify_init1 failed, errno {}", root_, error);
  }
  lacksWatches_ = true;
  return false;
}

void FolderWatcher::watchTree(const std::string& folder) {
  if (watches_->addTree(folder)) {
    // A complete walk of the root covers every folder that lacked a watch.
    if (folder == root_) lacksWatches_ = false;
    return;
  }
  lacksWatches_ = true;
  limitHit_ = true;
  reportLimit(watches_->limitErrno());
}

void FolderWatcher::reportLimit(int error) {
  if (limitLogged_) return;
  limitLogged_ = true;
  NBLOG_ERROR("folders under {} are not watched: the inotify watch limit "
              "fs.inotify.max_user_watches ({}) is reached (errno {}); raise it "
              "(sysctl fs.inotify.max_user_watches); the folder is rescanned until then",
              root_, procLimit("max_user_watches"), error);
}

void FolderWatcher::run() {
  bool opened = openInotify();
  {
    std::lock_guard lock(mutex_);
    if (opened) {
      watches_ = std::make_unique<InotifyWatches>(
          inotify_.get(), options_.addWatch,
          InotifyWatches::kMask | (options_.attributeChanges ? IN_ATTRIB : 0u));
      watchTree(root_);
      if (watches_->size() == 0 && !lacksWatches_) NBLOG_WARN("cannot watch missing {}", root_);
    }
    watching_ = true;
    watchingChanged_.notify_all();
  }
  if (lacksWatches_ && onRescan_) onRescan_();
  {
    std::lock_guard lock(mutex_);
    limitHit_ = false;  // just reported
  }
  while (!stopping_) {
    int timeout = -1;
    if (batchOpen_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline_ - std::chrono::steady_clock::now());
      timeout = static_cast<int>(std::max<int64_t>(0, left.count()));
    }
    pollfd fds[2] = {{inotify_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    if (::poll(fds, 2, timeout) < 0 && errno != EINTR) {
      NBLOG_ERROR("watching {} ended: poll failed, errno {}", root_, errno);
      break;
    }
    if (fds[1].revents & POLLIN) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = ::read(wake_.get(), &count, sizeof count);
    }
    if (stopping_) break;
    if (fds[0].revents & POLLIN) readAvailable();
    if (overflowRequested_.exchange(false)) {
      overflowed_ = true;
      openBatch();
    }
    if (batchOpen_ && std::chrono::steady_clock::now() >= deadline_) flush();
  }
}

void FolderWatcher::readAvailable() {
  bool endedOnMoveFrom = false;
  while (readOnce(endedOnMoveFrom) || endedOnMoveFrom) {
    // A steady stream of events must not hold its batch back for ever.
    if (batchOpen_ && std::chrono::steady_clock::now() >= deadline_) break;
    if (!endedOnMoveFrom) continue;
    // Give the new half of the move a moment to arrive in this batch.
    pollfd fd{inotify_.get(), POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(options_.movePartnerWait.count())) <= 0) break;
    endedOnMoveFrom = false;
  }
}

// Reads one buffer of events; answers false when nothing was there.
bool FolderWatcher::readOnce(bool& endedOnMoveFrom) {
  alignas(struct inotify_event) char buffer[64 * 1024];
  const ssize_t length = ::read(inotify_.get(), buffer, sizeof buffer);
  if (length <= 0) return false;
  std::lock_guard lock(mutex_);
  for (ssize_t offset = 0; offset < length;) {
    const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + offset);
    handleEvent(*event);
    endedOnMoveFrom = (event->mask & IN_MOVED_FROM) != 0;
    offset += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
  }
  return true;
}

void FolderWatcher::handleEvent(const ::inotify_event& event) {
  if (event.mask & IN_Q_OVERFLOW) {
    overflowed_ = true;
    openBatch();
    return;
  }
  if (event.mask & IN_IGNORED) {
    watches_->forget(event.wd);
    return;
  }
  if (event.mask & IN_UNMOUNT) {
    NBLOG_INFO("a file system under {} was unmounted", root_);
    return;
  }
  const std::string* folder = watches_->pathOf(event.wd);
  if (!folder || rootGone_) return;
  if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
    // Only the root's own end matters: every other folder's end is reported
    // by its parent's watch.
    if (*folder == root_) handleRootGone(event.mask);
    return;
  }
  if (event.len == 0) return;
  const std::string path = (*folder == "/" ? "" : *folder) + "/" + event.name;
  openBatch();
  if (endsWith(path, "/.DS_Store")) return;
  if (event.mask & IN_ISDIR) {
    if (event.mask & IN_CREATE) watchTree(path);
    if (event.mask & IN_MOVED_FROM) movedFolders_[event.cookie] = path;
    if (event.mask & IN_MOVED_TO) {
      auto from = movedFolders_.find(event.cookie);
      if (from != movedFolders_.end()) {
        watches_->renameTree(from->second, path);
        movedFolders_.erase(from);
      }
      // A folder made and renamed within moments was gone from its first
      // name before its watch could be added: there was none to carry along.
      if (!watches_->watches(path)) watchTree(path);
    }
  }
  HandlerItem item;
  item.path = path;
  item.type = kindOf(path, event.mask);
  addItem(std::move(item), event.mask, event.cookie);
}

void FolderWatcher::handleRootGone(uint32_t mask) {
  openBatch();
  HandlerItem item;
  item.path = root_;
  item.type = 1;
  item.itemid = (lastId_ += 4);
  item.bRemove = (mask & IN_DELETE_SELF) != 0;
  item.bRename = (mask & IN_MOVE_SELF) != 0;
  pending_.push_back(std::move(item));
  // Whatever the watches would report now lies outside the root.
  watches_->dropAll();
  rootGone_ = true;
}

void FolderWatcher::addItem(HandlerItem item, uint32_t mask, uint32_t cookie) {
  if (mask & kMoveMask) {
    item.bRename = true;
    auto oldHalf = moveIdOf_.find(cookie);
    if ((mask & IN_MOVED_TO) && oldHalf != moveIdOf_.end()) {
      item.itemid = oldHalf->second + 1;
    } else {
      item.itemid = (lastId_ += 4);
      if (mask & IN_MOVED_FROM) moveIdOf_[cookie] = item.itemid;
    }
    // Later plain events on either path start items of their own, so the
    // batch keeps the order of the move.
    plainItemOf_.erase(item.path);
    pending_.push_back(std::move(item));
    return;
  }
  item.bCreate = (mask & IN_CREATE) != 0;
  item.bRemove = (mask & IN_DELETE) != 0;
  item.bModify = (mask & (IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB)) != 0;
  if (!item.bCreate && !item.bRemove && !item.bModify) return;
  if (auto same = plainItemOf_.find(item.path); same != plainItemOf_.end()) {
    HandlerItem& earlier = pending_[same->second];
    earlier.bCreate |= item.bCreate;
    earlier.bRemove |= item.bRemove;
    earlier.bModify |= item.bModify;
    earlier.type = item.type;
    return;
  }
  item.itemid = (lastId_ += 4);
  plainItemOf_[item.path] = pending_.size();
  pending_.push_back(std::move(item));
}

void FolderWatcher::openBatch() {
  if (batchOpen_) return;
  batchOpen_ = true;
  deadline_ = std::chrono::steady_clock::now() + options_.latency;
}

void FolderWatcher::flush() {
  std::vector<HandlerItem> batch;
  batch.swap(pending_);
  batchOpen_ = false;
  plainItemOf_.clear();
  moveIdOf_.clear();
  const bool overflowed = std::exchange(overflowed_, false);
  bool unwatched = false;
  {
    std::lock_guard lock(mutex_);
    if (watches_) {
      // Folders whose new half never came have left the tree.
      for (const auto& [cookie, path] : movedFolders_) watches_->dropTree(path);
      // Folders made while events were lost may lack their watch.
      if (overflowed && !rootGone_) watchTree(root_);
    }
    movedFolders_.clear();
    unwatched = std::exchange(limitHit_, false);
  }
  if (onBatch_) onBatch_(std::move(batch));
  if (overflowed || unwatched) {
    NBLOG_WARN("file events under {} were lost; asking for a rescan", root_);
    if (onRescan_) onRescan_();
  }
}

}  // namespace nb::platform
