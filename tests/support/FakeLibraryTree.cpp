#include "support/FakeLibraryTree.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>

namespace nb::test {

namespace {

std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string join(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

bool isUnder(const std::string& path, const std::string& folder) {
  return folder.empty() || path == folder || path.starts_with(folder + "/");
}

}  // namespace

nlohmann::json FakeEntry::toJson(int cmd, const std::string& fullpathTo) const {
  return {{"hash", hash},
          {"fullpath", fullpath},
          {"fullpath_to", fullpathTo},
          {"filehash", filehash},
          {"filesize", filesize},
          {"cmd", cmd},
          {"dir", dir ? 1 : 0},
          {"create_dateline", createDateline},
          {"last_member_id", lastMemberId},
          {"last_member_name", lastMemberName},
          {"last_dateline", lastDateline},
          {"lock", lock},
          {"lock_member_id", lockMemberId},
          {"property", property}};
}

int FakeLibraryTree::errorCode(FakeTreeError error) {
  switch (error) {
    case FakeTreeError::None: return 0;
    case FakeTreeError::NotFound: return 40402;
    case FakeTreeError::Exists: return 40901;
    case FakeTreeError::NoParent: return 40403;
    case FakeTreeError::Locked: return 40302;
    case FakeTreeError::BadName: return 40004;
  }
  return 50000;
}

FakeLibraryTree::FakeLibraryTree(int64_t mountId, Clock clock)
    : mountId_(mountId), clock_(std::move(clock)) {}

std::string FakeLibraryTree::normalize(const std::string& path) {
  std::size_t first = 0;
  std::size_t last = path.size();
  while (first < last && path[first] == '/') ++first;
  while (last > first && path[last - 1] == '/') --last;
  return path.substr(first, last - first);
}

uint64_t FakeLibraryTree::now() const {
  return clock_ ? clock_() : static_cast<uint64_t>(std::time(nullptr));
}

std::string FakeLibraryTree::nextHash() {
  char text[33];
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(mountId_),
                static_cast<unsigned long long>(++nextHash_));
  return text;
}

void FakeLibraryTree::record(int cmd, const FakeEntry& entry, const std::string& fullpathTo) {
  feed_.push_back(FakeChange{++nextId_, now(), cmd, entry, fullpathTo});
}

bool FakeLibraryTree::parentExists(const std::string& path) const {
  const std::string parent = parentOf(path);
  if (parent.empty()) return true;
  const auto found = entries_.find(parent);
  return found != entries_.end() && found->second.dir;
}

std::string FakeLibraryTree::spelled(const std::string& path) const {
  const auto fold = [](std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  std::string walked;
  std::size_t start = 0;
  while (start < path.size()) {
    const auto slash = path.find('/', start);
    const auto end = slash == std::string::npos ? path.size() : slash;
    const std::string name = path.substr(start, end - start);
    std::string next = join(walked, name);
    if (!entries_.contains(next)) {
      // Only what lies below the folder sorts between "walked/" and
      // "walked0" ('0' follows '/'): a large tree is not read whole for
      // every new name.
      const auto first = walked.empty() ? entries_.begin() : entries_.lower_bound(walked + "/");
      const auto last = walked.empty() ? entries_.end() : entries_.lower_bound(walked + "0");
      for (auto it = first; it != last; ++it) {
        const std::string& each = it->first;
        if (parentOf(each) == walked && fold(nameOf(each)) == fold(name)) {
          next = each;
          break;
        }
      }
    }
    walked = next;
    start = end + 1;
  }
  return walked;
}

FakeTreeError FakeLibraryTree::checkEditable(const std::string& path, const FakeMember& by) const {
  const auto found = entries_.find(path);
  if (path.empty() || found == entries_.end()) return FakeTreeError::NotFound;
  if (found->second.lock != 0 && found->second.lockMemberId != by.id) return FakeTreeError::Locked;
  return FakeTreeError::None;
}

std::vector<std::string> FakeLibraryTree::subtree(const std::string& path) const {
  std::vector<std::string> paths;
  for (auto it = entries_.lower_bound(path); it != entries_.end(); ++it) {
    if (it->first == path || it->first.starts_with(path + "/")) paths.push_back(it->first);
  }
  return paths;
}

FakeTreeError FakeLibraryTree::addFolder(const std::string& rawPath, const FakeMember& by,
                                         uint64_t createDateline, uint64_t lastDateline) {
  if (normalize(rawPath).empty()) return FakeTreeError::BadName;
  std::lock_guard guard(lock_);
  const std::string path = spelled(normalize(rawPath));
  std::string walked;
  std::size_t start = 0;
  while (start <= path.size()) {
    const auto slash = path.find('/', start);
    const auto end = slash == std::string::npos ? path.size() : slash;
    walked = join(walked, path.substr(start, end - start));
    start = end + 1;
    const auto found = entries_.find(walked);
    if (found != entries_.end()) {
      if (!found->second.dir) return FakeTreeError::Exists;
      continue;
    }
    const uint64_t time = now();
    FakeEntry entry{.fullpath = walked, .dir = true, .hash = nextHash(),
                    .createDateline = createDateline ? createDateline : time,
                    .lastDateline = lastDateline ? lastDateline : time,
                    .lastMemberId = by.id, .lastMemberName = by.name};
    entries_[walked] = entry;
    record(1, entry);
  }
  return FakeTreeError::None;
}

FakeTreeError FakeLibraryTree::putFile(const std::string& rawPath, const std::string& filehash,
                                       uint64_t filesize, const FakeMember& by,
                                       uint64_t createDateline, uint64_t lastDateline) {
  if (normalize(rawPath).empty()) return FakeTreeError::BadName;
  std::lock_guard guard(lock_);
  const std::string path = spelled(normalize(rawPath));
  if (!parentExists(path)) return FakeTreeError::NoParent;
  const uint64_t time = now();
  auto found = entries_.find(path);
  if (found == entries_.end()) {
    const auto reserved = reserved_.extract(path);
    found = entries_.emplace(path, FakeEntry{.fullpath = path,
                                             .hash = reserved ? reserved.mapped() : nextHash(),
                                             .createDateline = createDateline ? createDateline : time})
                .first;
  } else if (found->second.dir) {
    return FakeTreeError::Exists;
  } else if (const auto refused = checkEditable(path, by); refused != FakeTreeError::None) {
    return refused;
  } else {
    ++found->second.version;
  }
  FakeEntry& entry = found->second;
  entry.filehash = filehash;
  entry.filesize = filesize;
  entry.lastDateline = lastDateline ? lastDateline : time;
  entry.lastMemberId = by.id;
  entry.lastMemberName = by.name;
  versions_[path].push_back(FakeVersion{entry.hash + "-" + std::to_string(entry.version), filehash,
                                        filesize, entry.lastDateline});
  record(1, entry);
  return FakeTreeError::None;
}

std::string FakeLibraryTree::reserveHash(const std::string& path) {
  std::lock_guard guard(lock_);
  auto& hash = reserved_[spelled(normalize(path))];
  if (hash.empty()) hash = nextHash();
  return hash;
}

FakeTreeError FakeLibraryTree::remove(const std::string& rawPath, const FakeMember& by) {
  std::lock_guard guard(lock_);
  const std::string path = spelled(normalize(rawPath));
  if (const auto refused = checkEditable(path, by); refused != FakeTreeError::None) return refused;
  Trashed trashed;
  for (const auto& each : subtree(path)) {
    trashed.entries.push_back(entries_.at(each));
    if (const auto v = versions_.find(each); v != versions_.end()) {
      trashed.versions[each] = std::move(v->second);
      versions_.erase(v);
    }
    entries_.erase(each);
  }
  record(0, trashed.entries.front());
  trash_[path].push_back(std::move(trashed));
  return FakeTreeError::None;
}

FakeTreeError FakeLibraryTree::relocate(const std::string& from, const std::string& to,
                                        const FakeMember& by) {
  if (const auto refused = checkEditable(from, by); refused != FakeTreeError::None) return refused;
  if (to.empty() || isUnder(to, from)) return FakeTreeError::BadName;
  // Another entry by that name in any letter case; the entry itself may
  // take a new case.
  if (entries_.contains(to) || (spelled(to) != to && spelled(to) != from)) {
    return FakeTreeError::Exists;
  }
  if (!parentExists(to)) return FakeTreeError::NoParent;
  const FakeEntry before = entries_.at(from);
  for (const auto& each : subtree(from)) {
    auto node = entries_.extract(each);
    const std::string moved = to + each.substr(from.size());
    node.key() = moved;
    node.mapped().fullpath = moved;
    entries_.insert(std::move(node));
    if (auto v = versions_.extract(each); !v.empty()) {
      v.key() = moved;
      versions_.insert(std::move(v));
    }
  }
  FakeEntry& after = entries_.at(to);
  after.lastDateline = now();
  after.lastMemberId = by.id;
  after.lastMemberName = by.name;
  record(0, before, to);
  return FakeTreeError::None;
}

FakeTreeError FakeLibraryTree::rename(const std::string& path, const std::string& newname,
                                      const FakeMember& by) {
  if (newname.empty() || newname.find('/') != std::string::npos || newname == "." ||
      newname == "..") {
    return FakeTreeError::BadName;
  }
  std::lock_guard guard(lock_);
  const std::string from = spelled(normalize(path));
  return relocate(from, join(parentOf(from), newname), by);
}

FakeTreeError FakeLibraryTree::move(const std::string& path, const std::string& targetFolder,
                                    const FakeMember& by) {
  std::lock_guard guard(lock_);
  const std::string from = spelled(normalize(path));
  return relocate(from, join(spelled(normalize(targetFolder)), nameOf(from)), by);
}

FakeTreeError FakeLibraryTree::lock(const std::string& rawPath, bool on, const FakeMember& by) {
  std::lock_guard guard(lock_);
  const std::string path = spelled(normalize(rawPath));
  if (const auto refused = checkEditable(path, by); refused != FakeTreeError::None) return refused;
  FakeEntry& entry = entries_.at(path);
  entry.lock = on ? 1 : 0;
  entry.lockMemberId = on ? by.id : 0;
  record(1, entry);
  return FakeTreeError::None;
}

FakeTreeError FakeLibraryTree::setProperty(const std::string& rawPath, const std::string& property) {
  const std::string path = normalize(rawPath);
  std::lock_guard guard(lock_);
  const auto found = entries_.find(path);
  if (found == entries_.end()) return FakeTreeError::NotFound;
  found->second.property = property;
  record(1, found->second);
  return FakeTreeError::None;
}

std::vector<FakeEntry> FakeLibraryTree::recover(const std::vector<std::string>& paths,
                                                const FakeMember& by) {
  std::vector<FakeEntry> back;
  std::lock_guard guard(lock_);
  for (const auto& raw : paths) {
    const std::string path = normalize(raw);
    const auto found = trash_.find(path);
    if (found == trash_.end() || entries_.contains(path) || !parentExists(path)) continue;
    Trashed trashed = std::move(found->second.back());
    found->second.pop_back();
    if (found->second.empty()) trash_.erase(found);
    for (auto& entry : trashed.entries) {
      entry.lastMemberId = by.id;
      entry.lastMemberName = by.name;
      entries_[entry.fullpath] = entry;
      record(1, entry);
      back.push_back(entry);
    }
    for (auto& [each, list] : trashed.versions) versions_[each] = std::move(list);
  }
  return back;
}

FakeTreeError FakeLibraryTree::announce(const std::string& rawPath, int cmd) {
  const std::string path = normalize(rawPath);
  std::lock_guard guard(lock_);
  const auto found = entries_.find(path);
  if (path.empty() || found == entries_.end()) return FakeTreeError::NotFound;
  record(cmd, found->second);
  return FakeTreeError::None;
}

FakeTreeError FakeLibraryTree::revert(const std::string& rawPath, const std::string& hid,
                                      const FakeMember& by) {
  const std::string path = normalize(rawPath);
  FakeVersion chosen;
  {
    std::lock_guard guard(lock_);
    const auto list = versions_.find(path);
    if (list == versions_.end()) return FakeTreeError::NotFound;
    const auto match = std::find_if(list->second.begin(), list->second.end(),
                                     [&](const FakeVersion& v) { return v.hid == hid; });
    if (match == list->second.end()) return FakeTreeError::NotFound;
    chosen = *match;
  }
  return putFile(path, chosen.filehash, chosen.filesize, by);
}

std::optional<FakeEntry> FakeLibraryTree::find(const std::string& path) const {
  std::lock_guard guard(lock_);
  const auto found = entries_.find(spelled(normalize(path)));
  if (found == entries_.end()) return std::nullopt;
  return found->second;
}

std::optional<std::vector<FakeEntry>> FakeLibraryTree::list(const std::string& rawFolder) const {
  std::lock_guard guard(lock_);
  const std::string folder = spelled(normalize(rawFolder));
  if (!folder.empty()) {
    const auto found = entries_.find(folder);
    if (found == entries_.end() || !found->second.dir) return std::nullopt;
  }
  std::vector<FakeEntry> children;
  // A folder's descendants sit together in the path order: only they are
  // walked, so that listing a small folder of a large tree stays cheap.
  const std::string prefix = folder.empty() ? std::string() : folder + "/";
  for (auto it = entries_.lower_bound(prefix); it != entries_.end() && it->first.starts_with(prefix);
       ++it) {
    if (it->first != folder && parentOf(it->first) == folder) children.push_back(it->second);
  }
  return children;
}

std::vector<FakeVersion> FakeLibraryTree::versions(const std::string& path) const {
  std::lock_guard guard(lock_);
  const auto found = versions_.find(normalize(path));
  return found == versions_.end() ? std::vector<FakeVersion>{} : found->second;
}

std::set<std::string> FakeLibraryTree::heldContent() const {
  std::lock_guard guard(lock_);
  std::set<std::string> held;
  const auto keep = [&held](const std::map<std::string, std::vector<FakeVersion>>& versions) {
    for (const auto& [path, list] : versions) {
      for (const auto& version : list) held.insert(version.filehash);
    }
  };
  for (const auto& [path, entry] : entries_) {
    if (!entry.dir) held.insert(entry.filehash);
  }
  keep(versions_);
  for (const auto& [path, list] : trash_) {
    for (const auto& trashed : list) {
      for (const auto& entry : trashed.entries) {
        if (!entry.dir) held.insert(entry.filehash);
      }
      keep(trashed.versions);
    }
  }
  return held;
}

std::vector<FakeChange> FakeLibraryTree::changes() const {
  std::lock_guard guard(lock_);
  return feed_;
}

std::optional<FakeLibraryTree::FeedPage> FakeLibraryTree::feed(const std::string& rawFolder,
                                                               uint64_t dateline, uint64_t id,
                                                               std::size_t pageSize) const {
  const std::string folder = normalize(rawFolder);
  std::lock_guard guard(lock_);
  if (!folder.empty()) {
    const auto found = entries_.find(folder);
    if (found == entries_.end() || !found->second.dir) return std::nullopt;
  }
  FeedPage page{dateline, id, {}};
  for (const auto& change : feed_) {
    if (page.changes.size() >= pageSize) break;
    // A position with an id is exact: what follows that change. Clients
    // also send an id of their own with a dateline (a re-read starts at
    // index 1), so the pair is compared as a whole, never the id alone.
    const bool after = id > 0 ? std::pair(change.dateline, change.id) > std::pair(dateline, id)
                              : change.dateline > dateline;
    const bool inside = isUnder(change.entry.fullpath, folder) ||
                        (!change.fullpathTo.empty() && isUnder(change.fullpathTo, folder));
    if (!after || !inside || change.entry.fullpath == folder) continue;
    page.changes.push_back(change);
    page.dateline = change.dateline;
    page.id = change.id;
  }
  return page;
}

}  // namespace nb::test
