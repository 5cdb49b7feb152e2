#include "sync/local/LastFileEvent.h"

#include <algorithm>

#include "foundation/text/StringHelpers.h"
#include "platform/Clock.h"

namespace nb {

void LastFileEvent::addNode(const std::string& webpath, const std::string& newwebpath) {
  const uint64_t now = platform::nowSeconds();
  const std::string wanted = lowercaseString(webpath);
  std::lock_guard lock(nodeLock);
  for (LastFileEventItem& item : nodeArray) {
    if (lowercaseString(item.strWebPath) == wanted) {
      item.strNewWebPath = newwebpath;
      item.ullLastTime = now;
      return;
    }
  }
  nodeArray.push_back({webpath, newwebpath, now});
}

bool LastFileEvent::checkNode(const std::string& webpath, bool& timeout,
                              std::string* movedTo) const {
  const std::string path = lowercaseString(webpath);
  const uint64_t now = platform::nowSeconds();
  std::lock_guard lock(nodeLock);
  for (const LastFileEventItem& item : nodeArray) {
    const std::string entry = lowercaseString(item.strWebPath);
    const bool below = path.size() > entry.size() && path.compare(0, entry.size(), entry) == 0 &&
                       path[entry.size()] == '/';
    if (path != entry && !below) continue;
    if (now - item.ullLastTime >= kFreshSeconds) timeout = true;
    if (movedTo != nullptr) {
      movedTo->clear();
      if (!item.strNewWebPath.empty()) *movedTo = item.strNewWebPath + path.substr(entry.size());
    }
    return true;
  }
  return false;
}

void LastFileEvent::delNode(const std::string& webpath) {
  const std::string wanted = lowercaseString(webpath);
  std::lock_guard lock(nodeLock);
  auto found = std::find_if(nodeArray.begin(), nodeArray.end(), [&](const auto& item) {
    return lowercaseString(item.strWebPath) == wanted;
  });
  if (found != nodeArray.end()) nodeArray.erase(found);
}

}  // namespace nb
