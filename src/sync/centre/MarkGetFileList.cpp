#include "sync/centre/MarkGetFileList.h"

#include <algorithm>

#include "foundation/text/StringHelpers.h"

namespace nb {

void MarkGetFileList::addNode(std::string webpath) {
  std::lock_guard lock(nodeLock);
  if (std::find(nodeArray.begin(), nodeArray.end(), webpath) != nodeArray.end()) return;
  nodeArray.push_back(std::move(webpath));
}

bool MarkGetFileList::checkNodeByWebPath(const std::string& webpath) const {
  const std::string wanted = lowercaseString(webpath);
  std::lock_guard lock(nodeLock);
  return std::any_of(nodeArray.begin(), nodeArray.end(), [&](const std::string& node) {
    return lowercaseString(node) == wanted;
  });
}

}  // namespace nb
