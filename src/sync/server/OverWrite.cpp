#include "sync/server/OverWrite.h"

#include <algorithm>

#include "sync/links/PathMatch.h"

namespace nb {

void OverWrite::addNode(const std::string& webpath) {
  std::lock_guard lock(nodeLock);
  if (std::find(nodeArray.begin(), nodeArray.end(), webpath) != nodeArray.end()) return;
  nodeArray.push_back(webpath);
}

bool OverWrite::checkNode(const std::string& webpath) const {
  const std::string lowerPath = lowercaseString(webpath);
  std::lock_guard lock(nodeLock);
  return std::any_of(nodeArray.begin(), nodeArray.end(), [&](const std::string& entry) {
    return lowerWebPathInFolder(lowerPath, lowercaseString(entry));
  });
}

bool OverWrite::removeNode(const std::string& webpath) {
  std::lock_guard lock(nodeLock);
  const auto found = std::find(nodeArray.begin(), nodeArray.end(), webpath);
  if (found == nodeArray.end()) return false;
  nodeArray.erase(found);
  return true;
}

}  // namespace nb
