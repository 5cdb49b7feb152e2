#pragma once
// The small records of a sync manager's recent-event lists.

#include <cstdint>
#include <string>

namespace nb {

// A file the engine has just written on the local disk (copy list).
struct copy_file_stx {
  uint64_t filesize = 0;  // bytes
  uint64_t lasttime = 0;  // its modification time after writing, seconds since 1970
  uint64_t addtime = 0;   // when the entry was made, seconds since 1970
};

// A rename or move whose server call is still pending: absolute local paths.
struct movefile_stx {
  std::string oldpath;
  std::string newpath;
};

// A folder being added from outside.
struct add_or_del_stx {
  std::string webpath;
  int64_t status = 0;   // 1 once updateadlist: saw it
  double fttime = 0.0;  // system clock seconds at which status first became 1
};

}  // namespace nb
