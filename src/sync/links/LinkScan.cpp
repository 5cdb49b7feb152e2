// The scans of the linked local folders: all of them, or the local side of
// one web path after the server's side of it was read again.
#include "foundation/text/StringHelpers.h"
#include "sync/centre/SyncManager.h"
#include "sync/local/LocalSteps.h"

namespace nb {

void SyncManager::scanlink() {
  for (const auto& link : linkfolder_.getLinkNodes()) scandir(link.strFullPath);
  local::regetUploads();
}

// Web paths are compared exactly here: a path in other letter case names
// no link's folder on a case-sensitive disk.
void SyncManager::scanlink(const std::string& webpath) {
  for (const auto& link : linkfolder_.getLinkNodes()) {
    const std::string& lw = link.strWebPath;
    const std::string folder = lastremoveslash(link.strFullPath);
    if (lw == webpath || (!webpath.empty() && lw.starts_with(webpath + "/"))) {
      scandir(folder);
    } else if (lw.empty()) {
      // The whole library is linked: the path lies in it.
      scandir(folder + "/" + webpath);
    } else if ((webpath + "/").starts_with(lw + "/")) {
      scandir(folder + webpath.substr(lw.size()));
    }
  }
  local::regetUploads();
}

}  // namespace nb
