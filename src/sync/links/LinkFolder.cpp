#include "sync/links/LinkFolder.h"

#include <algorithm>
#include <string_view>

#include "foundation/text/StringHelpers.h"
#include "platform/Log.h"
#include "sync/centre/SyncStates.h"
#include "sync/links/CaseTwins.h"
#include "sync/links/PathMatch.h"
#include "sync/links/SafeWebPath.h"

namespace nb {

namespace {

constexpr size_t kNone = std::string_view::npos;

bool isAtOrBelow(std::string_view webPath, std::string_view linkPath) {
  return webPathPrefixEnd(webPath, linkPath) != kNone;
}

bool isLocalFolder(std::string_view fullPath) { return !fullPath.empty() && fullPath[0] == '/'; }

}  // namespace

bool LinkFolder::addNode(LinkFolderNode node) {
  if (!isSafeWebPath(node.strWebPath)) {
    NBLOG_WARN("link refused: unsafe web path '{}'", node.strWebPath);
    return false;
  }
  std::lock_guard lock(nodeLock);
  const std::string lower = lowercaseString(node.strWebPath);
  for (auto& link : nodeArray) {
    if (lowercaseString(link.strWebPath) == lower) {
      link.strFullPath = std::move(node.strFullPath);
      return true;
    }
  }
  nodeArray.push_back(std::move(node));
  return true;
}

bool LinkFolder::removeByWebPath(const std::string& webPath, bool same) {
  std::lock_guard lock(nodeLock);
  const std::string lower = lowercaseString(webPath);
  if (same) {
    auto it = std::find_if(nodeArray.begin(), nodeArray.end(), [&](const LinkFolderNode& link) {
      return lowercaseString(link.strWebPath) == lower;
    });
    if (it == nodeArray.end()) return false;
    nodeArray.erase(it);
    return true;
  }
  const auto removed = std::erase_if(nodeArray, [&](const LinkFolderNode& link) {
    return isAtOrBelow(link.strWebPath, webPath);
  });
  return removed > 0;
}

bool LinkFolder::removeByWebPath(const std::string& webPath, std::vector<LinkFolderNode>& nodes) {
  std::lock_guard lock(nodeLock);
  const auto kept = std::stable_partition(nodeArray.begin(), nodeArray.end(),
                                          [&](const LinkFolderNode& link) {
                                            return !isAtOrBelow(link.strWebPath, webPath);
                                          });
  if (kept == nodeArray.end()) return false;
  std::move(kept, nodeArray.end(), std::back_inserter(nodes));
  nodeArray.erase(kept, nodeArray.end());
  return true;
}

bool LinkFolder::renameByWebPath(const std::string& oldWebPath, const std::string& newWebPath) {
  if (!isSafeWebPath(newWebPath)) {
    NBLOG_WARN("link rename refused: unsafe web path '{}'", newWebPath);
    return false;
  }
  std::lock_guard lock(nodeLock);
  bool changed = false;
  for (auto& link : nodeArray) {
    const size_t end = webPathPrefixEnd(link.strWebPath, oldWebPath);
    if (end == kNone) continue;
    link.strWebPath = newWebPath + link.strWebPath.substr(end);
    changed = true;
  }
  return changed;
}

bool LinkFolder::checkSameLinkByFullPath(const std::string& fullPath) const {
  const std::string path = lastremoveslash(fullPath);
  std::lock_guard lock(nodeLock);
  return std::any_of(nodeArray.begin(), nodeArray.end(), [&](const LinkFolderNode& link) {
    return lastremoveslash(link.strFullPath) == path;
  });
}

bool LinkFolder::checkSameLinkByWebPath(const std::string& webPath) const {
  const std::string lower = lowercaseString(webPath);
  std::lock_guard lock(nodeLock);
  return std::any_of(nodeArray.begin(), nodeArray.end(), [&](const LinkFolderNode& link) {
    return lowercaseString(link.strWebPath) == lower;
  });
}

const LinkFolderNode* LinkFolder::rulingLink(const std::string& webPath, size_t* restAt) const {
  for (const auto& link : nodeArray) {
    const size_t end = link.strWebPath.empty() ? 0 : webPathPrefixEnd(webPath, link.strWebPath);
    if (end == kNone) continue;
    if (restAt) *restAt = end;
    return &link;
  }
  return nullptr;
}

std::optional<int64_t> LinkFolder::rulingType(const std::string& webPath,
                                              std::string* parent) const {
  if (!isSafeWebPath(webPath)) return std::nullopt;
  std::lock_guard lock(nodeLock);
  const LinkFolderNode* link = rulingLink(webPath, nullptr);
  if (!link) return std::nullopt;
  if (parent) *parent = link->strWebPath.empty() ? "/" : link->strWebPath;
  return link->nType;
}

bool LinkFolder::checkLinkByWebPath(const std::string& webPath, std::string* parent) const {
  return rulingType(webPath, parent).has_value();
}

bool LinkFolder::checkInLinkByWebPath(const std::string& webPath) const {
  if (!isSafeWebPath(webPath)) return false;
  std::lock_guard lock(nodeLock);
  return std::any_of(nodeArray.begin(), nodeArray.end(), [&](const LinkFolderNode& link) {
    if (link.strWebPath.empty()) return true;
    const size_t end = webPathPrefixEnd(webPath, link.strWebPath);
    return end != kNone && end < webPath.size();
  });
}

std::string LinkFolder::mapWebPath(const std::string& webPath, std::string* folder) const {
  if (!isSafeWebPath(webPath)) return "";
  std::string path;
  {
    std::lock_guard lock(nodeLock);
    size_t restAt = 0;
    const LinkFolderNode* link = rulingLink(webPath, &restAt);
    if (!link || !isLocalFolder(link->strFullPath)) return "";
    *folder = link->strFullPath;
    if (link->strWebPath.empty()) {
      path = lastaddslash(link->strFullPath) + webPath;
    } else {
      path = link->strFullPath + webPath.substr(restAt);
    }
  }
  // Safe names keep the path inside the folder; this guards the rule above.
  if (!isPathUnder(path, *folder)) {
    NBLOG_ERROR("web path '{}' mapped outside its link folder", webPath);
    return "";
  }
  return path;
}

std::string LinkFolder::literalPathByWebPath(const std::string& webPath) const {
  std::string folder;
  return mapWebPath(webPath, &folder);
}

std::string LinkFolder::normalPathByWebPath(const std::string& webPath) const {
  std::string folder;
  const std::string path = mapWebPath(webPath, &folder);
  return path.empty() ? path : resolveCaseTwins(folder, path);
}

std::string LinkFolder::relativeRathByFullPath(const std::string& fullPath) const {
  const std::string path = lastremoveslash(fullPath);
  std::string webPath;
  {
    std::lock_guard lock(nodeLock);
    const LinkFolderNode* ruling = nullptr;
    for (const auto& link : nodeArray) {
      const std::string folder = lastremoveslash(link.strFullPath);
      if (!isLocalFolder(folder) || !isPathUnder(path, folder)) continue;
      ruling = &link;
      // The tail keeps the given path's own trailing "/".
      const std::string tail = path.size() == folder.size() ? "" : fullPath.substr(folder.size());
      webPath = link.strWebPath.empty() ? tail.substr(std::min<size_t>(1, tail.size()))
                                        : link.strWebPath + tail;
      break;
    }
    if (!ruling) return "";
  }
  if (!isSafeWebPath(webPath)) {
    NBLOG_WARN("local path '{}' gives no safe web path", fullPath);
    return "";
  }
  return webPath;
}

int64_t LinkFolder::linkTypeByWebPath(const std::string& webPath, std::string* parent) const {
  return rulingType(webPath, parent).value_or(LinkType::kNone);
}

bool LinkFolder::haveNode() const {
  std::lock_guard lock(nodeLock);
  return !nodeArray.empty();
}

}  // namespace nb
