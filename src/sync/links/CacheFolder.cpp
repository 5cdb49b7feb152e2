#include "sync/links/CacheFolder.h"

#include "foundation/text/StringHelpers.h"
#include "sync/links/PathMatch.h"

namespace nb {

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

}  // namespace nb
