#pragma once
// One cache-mode folder: a web path whose files are kept as copies in a
// content directory (a root of the content cache) instead of a local folder.

#include <string>

namespace nb {

struct CacheFolderItem {
  std::string strWebPath;
  // The folder's content directory.
  std::string strFullPath;
};

}  // namespace nb
