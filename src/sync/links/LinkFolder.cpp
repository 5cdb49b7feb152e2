#include "sync/links/LinkFolder.h"

#include "foundation/text/StringHelpers.h"
#include "sync/centre/SyncStates.h"
#include "sync/links/PathMatch.h"

namespace nb {

void LinkFolder::addNode(LinkFolderNode node) {
  const std::string wanted = lowercaseString(node.strWebPath);
  std::lock_guard lock(nodeLock);
  for (auto& link : nodeArray) {
    if (lowercaseString(link.strWebPath) == wanted) {
      link.strFullPath = std::move(node.strFullPath);
      return;
    }
  }
  nodeArray.push_back(std::move(node));
}

std::string LinkFolder::normalPathByWebPath(const std::string& webpath) const {
  const std::string lowerPath = lowercaseString(webpath);
  std::lock_guard lock(nodeLock);
  for (const auto& link : nodeArray) {
    if (link.strWebPath.empty()) return lastaddslash(link.strFullPath) + webpath;
    const std::string lowerLink = lowercaseString(link.strWebPath);
    if (lowerPath == lowerLink) return link.strFullPath;
    if (lowerWebPathInFolder(lowerPath, lowerLink)) {
      return link.strFullPath + webpath.substr(link.strWebPath.size());
    }
  }
  return {};
}

int64_t LinkFolder::linkTypeByWebPath(const std::string& webpath, std::string* parent) const {
  const std::string lowerPath = lowercaseString(webpath);
  std::lock_guard lock(nodeLock);
  for (const auto& link : nodeArray) {
    if (!lowerWebPathInFolder(lowerPath, lowercaseString(link.strWebPath))) continue;
    if (parent) *parent = link.strWebPath.empty() ? "/" : link.strWebPath;
    return link.nType;
  }
  return LinkType::kNone;
}

bool LinkFolder::haveNode() const {
  std::lock_guard lock(nodeLock);
  return !nodeArray.empty();
}

}  // namespace nb
