#include "platform/InotifyWatches.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "platform/Log.h"

namespace nb::platform {
namespace {

int kernelAddWatch(int fd, const std::string& path, uint32_t mask) {
  return ::inotify_add_watch(fd, path.c_str(), mask);
}

bool isRoomError(int error) { return error == ENOSPC || error == ENOMEM; }

// The sub-folders of `folder`, without following symbolic links.
std::vector<std::string> subFolders(const std::string& folder) {
  std::vector<std::string> found;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return found;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string child = folder + "/" + std::string(name);
    bool isDir = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      isDir = ::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    if (isDir) found.push_back(std::move(child));
  }
  return found;
}

// The half-open range of keys of `map` that lie strictly below `folder`.
template <typename Map>
auto below(Map& map, const std::string& folder) {
  return std::make_pair(map.lower_bound(folder + "/"), map.lower_bound(folder + "0"));
}

}  // namespace

const uint32_t InotifyWatches::kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                       IN_MODIFY | IN_CLOSE_WRITE | IN_DELETE_SELF |
                                       IN_MOVE_SELF | IN_DONT_FOLLOW | IN_ONLYDIR;

InotifyWatches::InotifyWatches(int fd, AddWatch addWatch, uint32_t mask)
    : fd_(fd), addWatch_(addWatch ? std::move(addWatch) : AddWatch(kernelAddWatch)), mask_(mask) {}

bool InotifyWatches::addTree(const std::string& folder) {
  std::vector<std::string> pending{folder};
  while (!pending.empty()) {
    const std::string next = std::move(pending.back());
    pending.pop_back();
    if (watchOne(next) < 0) {
      if (isRoomError(errno)) {
        limitErrno_ = errno;
        return false;
      }
      continue;  // gone meanwhile, unreadable or not a folder
    }
    for (std::string& child : subFolders(next)) pending.push_back(std::move(child));
  }
  limitErrno_ = 0;
  return true;
}

int InotifyWatches::watchOne(const std::string& folder) {
  const int wd = addWatch_(fd_, folder, mask_);
  if (wd < 0) {
    const int error = errno;
    if (!isRoomError(error)) NBLOG_DEBUG("no watch for {}: errno {}", folder, error);
    errno = error;
    return -1;
  }
  record(wd, folder);
  return wd;
}

void InotifyWatches::record(int wd, const std::string& folder) {
  // The kernel answers the same descriptor for a folder it already watches
  // (one moved back in, or met again on a rescan walk).
  eraseWd(wd);
  if (auto old = byPath_.find(folder); old != byPath_.end()) byWd_.erase(old->second);
  byWd_[wd] = folder;
  byPath_[folder] = wd;
}

void InotifyWatches::eraseWd(int wd) {
  auto found = byWd_.find(wd);
  if (found == byWd_.end()) return;
  byPath_.erase(found->second);
  byWd_.erase(found);
}

void InotifyWatches::renameTree(const std::string& from, const std::string& to) {
  if (from == to) return;
  std::vector<std::pair<std::string, int>> moved;
  if (auto self = byPath_.find(from); self != byPath_.end()) {
    moved.emplace_back(to, self->second);
    byPath_.erase(self);
  }
  auto [first, last] = below(byPath_, from);
  for (auto it = first; it != last; ++it) {
    moved.emplace_back(to + it->first.substr(from.size()), it->second);
  }
  byPath_.erase(first, last);
  for (auto& [path, wd] : moved) {
    // A folder already watched at the target was replaced by the move.
    if (auto old = byPath_.find(path); old != byPath_.end()) byWd_.erase(old->second);
    byWd_[wd] = path;
    byPath_[path] = wd;
  }
}

void InotifyWatches::dropTree(const std::string& folder) {
  std::vector<int> dropped;
  if (auto self = byPath_.find(folder); self != byPath_.end()) dropped.push_back(self->second);
  auto [first, last] = below(byPath_, folder);
  for (auto it = first; it != last; ++it) dropped.push_back(it->second);
  for (int wd : dropped) {
    ::inotify_rm_watch(fd_, wd);
    eraseWd(wd);
  }
}

void InotifyWatches::dropAll() {
  for (const auto& [wd, path] : byWd_) ::inotify_rm_watch(fd_, wd);
  byWd_.clear();
  byPath_.clear();
}

void InotifyWatches::forget(int wd) { eraseWd(wd); }

const std::string* InotifyWatches::pathOf(int wd) const {
  auto found = byWd_.find(wd);
  return found == byWd_.end() ? nullptr : &found->second;
}

}  // namespace nb::platform
