#pragma once
// One change-feed cursor (a VERSION row). The path "/" is the library's own
// cursor; a record with an empty path is the "no cursor" answer.

#include <cstdint>
#include <string>

namespace nb {

struct SyncVersion {
  std::string strWebPath;
  uint64_t ullDateline = 0;  // dateline of the last page taken
  uint64_t ullIndex = 0;     // position id of the last page taken
  // True while the folder's first full listing is still to be fetched.
  bool bCompareInit = false;
};

}  // namespace nb
