#include "sync/links/CacheFolder.h"

#include <algorithm>
#include <iterator>

#include "foundation/text/StringHelpers.h"
#include "sync/links/PathMatch.h"

namespace nb {

void CacheFolder::addNode(CacheFolderItem item) {
  const std::string lower = lowercaseString(item.strWebPath);
  std::lock_guard lock(nodeLock);
  for (auto& present : nodeArray) {
    if (lowercaseString(present.strWebPath) != lower) continue;
    present.strFullPath = std::move(item.strFullPath);
    return;
  }
  nodeArray.push_back(std::move(item));
}

std::string CacheFolder::getFullPathByWebPath(const std::string& webpath) const {
  const std::string lowerPath = lowercaseString(webpath);
  std::lock_guard lock(nodeLock);
  for (const auto& item : nodeArray) {
    if (lowerWebPathInFolder(lowerPath, lowercaseString(item.strWebPath))) return item.strFullPath;
  }
  return {};
}

int64_t CacheFolder::checkByWebPath(const std::string& webpath) const {
  const std::string lowerPath = lowercaseString(webpath);
  std::lock_guard lock(nodeLock);
  for (const auto& item : nodeArray) {
    const std::string lowerFolder = lowercaseString(item.strWebPath);
    if (!lowerWebPathInFolder(lowerPath, lowerFolder)) continue;
    return !lowerFolder.empty() && lowerFolder == lowerPath ? 1 : 2;
  }
  return 0;
}

std::string CacheFolder::getNormalPathByWebPath(const std::string& webpath,
                                                const std::string& filehash) const {
  if (filehash.size() != 40) return {};
  const std::string lowerPath = lowercaseString(webpath);
  std::lock_guard lock(nodeLock);
  for (const auto& item : nodeArray) {
    if (lowerWebPathInFolder(lowerPath, lowercaseString(item.strWebPath))) {
      return item.strFullPath + "/" + filehash.substr(0, 2) + "/" + filehash;
    }
  }
  return {};
}

bool CacheFolder::removeByWebPath(const std::string& webpath,
                                  std::vector<CacheFolderItem>& nodes) {
  const std::string lowerFolder = lowercaseString(webpath);
  std::lock_guard lock(nodeLock);
  const auto kept = std::stable_partition(nodeArray.begin(), nodeArray.end(),
                                          [&](const CacheFolderItem& item) {
    return !lowerWebPathInFolder(lowercaseString(item.strWebPath), lowerFolder);
  });
  if (kept == nodeArray.end()) return false;
  std::move(kept, nodeArray.end(), std::back_inserter(nodes));
  nodeArray.erase(kept, nodeArray.end());
  return true;
}

bool CacheFolder::renameByWebPath(const std::string& oldwebpath, const std::string& newwebpath) {
  std::lock_guard lock(nodeLock);
  bool changed = false;
  for (auto& item : nodeArray) {
    const size_t end = webPathPrefixEnd(item.strWebPath, oldwebpath);
    if (end == std::string::npos) continue;
    item.strWebPath = newwebpath + item.strWebPath.substr(end);
    changed = true;
  }
  return changed;
}

}  // namespace nb
