#pragma once
// The set of inotify watches of one watched tree: a watch per folder, each
// knowing the folder's current path. Moves inside the tree rewrite the
// paths of a whole subtree (the kernel's watches follow the folders);
// folders that leave the tree drop their watches.
//
// Not thread-safe: its owner serialises every call.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>

namespace nb::platform {

class InotifyWatches {
 public:
  // Adds a watch to the inotify instance `fd`; answers the watch descriptor,
  // or -1 with errno set. inotify_add_watch unless a test replaces it.
  using AddWatch = std::function<int(int fd, const std::string& path, uint32_t mask)>;

  // The events every folder watch asks for. No IN_ATTRIB: permission and
  // time changes alone are not changes to sync.
  static const uint32_t kMask;

  // `mask`: the events each folder watch asks for.
  InotifyWatches(int fd, AddWatch addWatch, uint32_t mask = kMask);
  InotifyWatches(const InotifyWatches&) = delete;
  InotifyWatches& operator=(const InotifyWatches&) = delete;

  // Watches `folder` and every folder below it, never through symbolic
  // links. Each folder is watched before it is listed, so an item made
  // during the walk shows up as an event or in the listing. Folders that
  // vanish or cannot be read meanwhile are skipped. Answers false when the
  // kernel refused a watch for lack of room (limitErrno() tells which
  // limit); the walk stops there.
  bool addTree(const std::string& folder);

  // A folder of the tree moved from `from` to `to`: the watches of its
  // subtree now carry the new paths.
  void renameTree(const std::string& from, const std::string& to);

  // Removes the watches of `folder` and everything below it.
  void dropTree(const std::string& folder);
  // Removes every watch.
  void dropAll();

  // The kernel removed watch `wd` (IN_IGNORED): forget it.
  void forget(int wd);

  // Whether `folder` itself has a watch.
  bool watches(const std::string& folder) const { return byPath_.contains(folder); }

  // The folder path of watch `wd`; nullptr for an unknown watch.
  const std::string* pathOf(int wd) const;

  size_t size() const { return byWd_.size(); }

  // The errno of the last refusal for lack of room (ENOSPC, ENOMEM), 0 when
  // none happened since the last addTree that completed.
  int limitErrno() const { return limitErrno_; }

 private:
  // Adds one watch; answers -1 on failure.
  int watchOne(const std::string& folder);
  void record(int wd, const std::string& folder);
  void eraseWd(int wd);

  const int fd_;
  const AddWatch addWatch_;
  const uint32_t mask_;
  std::unordered_map<int, std::string> byWd_;
  std::map<std::string, int> byPath_;  // ordered: a subtree is one range
  int limitErrno_ = 0;
};

}  // namespace nb::platform
