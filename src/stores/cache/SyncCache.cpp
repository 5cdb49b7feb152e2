#include "stores/cache/SyncCache.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include <fmt/format.h>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "stores/cache/CacheEntryFormat.h"

namespace nb {

namespace {

namespace fs = std::filesystem;

// Shared with the message store's key.
constexpr const char* kKeySalt = "{A4C19E72-3F05-4B8D-9E61-D27B05F3C8A9}";

std::string entryFolder(const std::string& root, const std::string& hash) {
  return root + "/" + hash.substr(0, 2);
}

std::string entryPath(const std::string& root, const std::string& hash) {
  return entryFolder(root, hash) + "/" + hash;
}

bool exists(const std::string& path) { return Util::existfile(path) || Util::checklinkdir(path); }

// The entries of `folder` whose names do not begin with a dot, in listing
// order, each with whether it is a folder (a link is never one).
std::vector<std::pair<std::string, bool>> listing(const std::string& folder) {
  std::vector<std::pair<std::string, bool>> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.') continue;
    std::error_code kind;
    names.emplace_back(name, it->symlink_status(kind).type() == fs::file_type::directory);
  }
  return names;
}

bool atOrUnderFolder(const std::string& path, const std::string& folder) {
  return !folder.empty() &&
         (path == folder || (path.size() > folder.size() && path.starts_with(folder) &&
                             path[folder.size()] == '/'));
}

}  // namespace

bool isContentHash(const std::string& hash) {
  return hash.size() == 40 && std::all_of(hash.begin(), hash.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

std::string cacheKeyText(const std::string& computerid, std::int64_t userid) {
  return sha1HexDigest(fmt::format("{}_{}_{}", computerid, userid, kKeySalt));
}

SyncCache& SyncCache::shareSyncCache() {
  static SyncCache instance(UserData::shareUserData(), Mountsdb::shareMountsdb());
  return instance;
}

SyncCache::SyncCache(UserData& user, Mountsdb& catalogue) : user_(user), catalogue_(catalogue) {}

std::string SyncCache::keyFromCatalogue() {
  if (!catalogue_.dbQueue()) {
    NBLOG_ERROR("content cache: the catalogue is not open, the key is not kept");
    return cacheKeyText(user_.computerid(), user_.userID());
  }
  std::string key = catalogue_.getCacheDataKey();
  if (key.empty()) {
    key = cacheKeyText(user_.computerid(), user_.userID());
    catalogue_.setCacheDataKey(key);
  }
  return key;
}

void SyncCache::setPath(const std::string& root) {
  std::string key = keyFromCatalogue();
  {
    std::lock_guard lock(fields_.mutex());
    pathString_ = root;
    strKey_ = std::move(key);
  }
  Util::createfolder(root);
  addCacheByNullFile();
}

bool SyncCache::addCacheFileByPath(const std::string& path, const std::string& filehash) {
  return addCacheFileByPath(path, filehash, pathString());
}

bool SyncCache::addCacheFileByPath(const std::string& path, const std::string& filehash,
                                   const std::string& root) {
  if (!isContentHash(filehash)) {
    if (!filehash.empty()) NBLOG_WARN("content cache: refused hash {}", filehash);
    return false;
  }
  if (root.empty()) return false;  // before setPath
  Util::createfolder(entryFolder(root, filehash));
  const std::string entry = entryPath(root, filehash);
  if (path == entry) return true;
  if (Util::filesize(path) >= kCacheMaxFileSize) return false;
  std::lock_guard lock(nodeLock);
  return addLocked(path, entry);
}

bool SyncCache::addLocked(const std::string& path, const std::string& entry) {
  if (exists(entry)) return true;  // entries are never rewritten
  return copyEncrypt(path, entry);
}

std::string SyncCache::getFullPathByFileHash(const std::string& filehash) {
  if (!isContentHash(filehash)) return {};
  const std::string root = pathString();
  std::lock_guard lock(nodeLock);
  if (!root.empty() && exists(entryPath(root, filehash))) return entryPath(root, filehash);
  for (const auto& extra : nodeArray) {
    if (exists(entryPath(extra, filehash))) return entryPath(extra, filehash);
  }
  return {};
}

bool SyncCache::copyEncrypt(const std::string& source, const std::string& entry) {
  try {
    return writeCacheEntry(source, entry, strKey());
  } catch (const std::exception& e) {
    NBLOG_ERROR("copyEncrypt {}", e.what());
    return false;
  }
}

bool SyncCache::copyDecrypt(const std::string& entry, const std::string& target) {
  try {
    switch (readCacheEntry(entry, target, strKey())) {
      case CacheReadResult::kDone:
        return true;
      case CacheReadResult::kFailed:
        return false;
      case CacheReadResult::kNotVerified:
        NBLOG_WARN("content cache: {} does not hold its content, emptying the cache", entry);
        clear();
        return false;
    }
  } catch (const std::exception& e) {
    NBLOG_ERROR("copyDecrypt {}", e.what());
  }
  return false;
}

void SyncCache::cleanBySize(std::int64_t budget) {
  const std::string root = pathString();
  if (root.empty()) return;
  std::lock_guard lock(nodeLock);
  std::vector<CacheFileItem> items;
  findFileByPath(root, items);
  std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
    if (a.ullLastTime != b.ullLastTime) return a.ullLastTime > b.ullLastTime;
    return a.ullModifyTime > b.ullModifyTime;
  });
  std::int64_t total = 0;
  for (const auto& item : items) {
    total += static_cast<std::int64_t>(item.ullSize);
    if (total >= budget) Util::deletefile(item.strFullPath);
  }
}

void SyncCache::findFileByPath(const std::string& folder, std::vector<CacheFileItem>& items) {
  for (const auto& [name, isFolder] : listing(folder)) {
    const std::string path = folder + "/" + name;
    if (isFolder) {
      findFileByPath(path, items);
      continue;
    }
    items.push_back({path, Util::filesize(path), Util::filecreatetime(path),
                     Util::filemodifytime(path)});
  }
}

void SyncCache::addCacheByPath(const std::string& root) {
  Util::createfolder(root);
  addNode(root);
}

void SyncCache::deleteCacheByPath(const std::string& root) {
  const std::string userFolder = user_.getuserfolderpath();
  std::lock_guard lock(nodeLock);
  const auto found = std::find(nodeArray.begin(), nodeArray.end(), root);
  if (found == nodeArray.end()) return;
  // Only folders of this user's own state are deleted; "C/1" does not
  // cover "C/12".
  if (atOrUnderFolder(root, userFolder)) Util::deletefolder(root, false);
  nodeArray.erase(found);
}

void SyncCache::moveCacheByPath(const std::string& from, const std::string& to) {
  for (const auto& [name, isFolder] : listing(from)) {
    const std::string source = from + "/" + name;
    const std::string target = to + "/" + name;
    if (isFolder) {
      Util::movefolder(source, target, false);
    } else if (!exists(target)) {
      Util::movefile(source, target);
    }
  }
}

void SyncCache::copyFolderToCache(const std::string& folder) {
  for (const auto& [name, isFolder] : listing(folder)) {
    const std::string path = folder + "/" + name;
    if (isFolder) {
      copyFolderToCache(path);
    } else if (const auto hash = Util::getfilehash(path)) {
      addCacheFileByPath(path, *hash);
    }
  }
}

void SyncCache::clear() {
  const std::string root = pathString();
  if (root.empty()) return;
  std::lock_guard lock(nodeLock);
  Util::deletefolder(root, false);
  Util::createfolder(root);
}

void SyncCache::addCacheByNullFile() {
  const std::string root = pathString();
  if (root.empty()) return;
  Util::createfolder(entryFolder(root, kEmptyContentHash));
  const std::string entry = entryPath(root, kEmptyContentHash);
  if (!exists(entry)) Util::createfile(entry);
}

}  // namespace nb
