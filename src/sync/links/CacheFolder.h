#pragma once
// The cache-mode folders of one library (CACHENODE rows): folders whose
// files live only as encrypted copies in a content directory of the
// client. Matching follows PathMatch.h, first entry in order decides.
// Every operation holds the list's lock; safe from any thread.

#include <cstdint>
#include <string>
#include <vector>

#include "stores/common/NodeBase.h"
#include "stores/syncdb/CacheFolderItem.h"

namespace nb {

class CacheFolder : public NodeBase<CacheFolderItem> {
 public:
  // An item whose web path (letter case ignored) is present replaces only
  // that folder's content directory; otherwise it is appended.
  void addNode(CacheFolderItem item);

  // 0: the path lies in no cache-mode folder; 1: it is one; 2: it lies
  // inside one, or the whole library is in cache mode.
  int64_t checkByWebPath(const std::string& webpath) const;

  // The content-directory path of the file's copy,
  // "<content dir>/<first two hash characters>/<hash>", when the hash has
  // 40 characters and a cache-mode folder holds the path; else "".
  std::string getNormalPathByWebPath(const std::string& webpath,
                                     const std::string& filehash) const;

  // The content directory of the cache-mode folder holding the path, "".
  std::string getFullPathByWebPath(const std::string& webpath) const;
  // Copies of all items in list order.
  std::vector<CacheFolderItem> getCacheNodes() const { return nodes(); }

  // Every cache-mode folder at or below the path, appended to `nodes` as it
  // is removed. True when something was removed.
  bool removeByWebPath(const std::string& webpath, std::vector<CacheFolderItem>& nodes);
  // The folder at the old path and those below it move under the new path
  // (their content directories stay). True when one moved.
  bool renameByWebPath(const std::string& oldwebpath, const std::string& newwebpath);
};

}  // namespace nb
