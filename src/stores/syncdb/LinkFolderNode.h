#pragma once
// One linked folder: a web path of a library tied to an absolute local path.

#include <cstdint>
#include <string>

namespace nb {

struct LinkFolderNode {
  // Empty for a link of the whole library.
  std::string strWebPath;
  // Absolute local path.
  std::string strFullPath;
  bool bDir = false;
  // Link type: 1 backup, 2 sync.
  int64_t nType = 0;
};

}  // namespace nb
