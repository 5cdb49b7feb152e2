#pragma once
// The renames and moves whose server call is still pending, kept until a
// retry's call succeeds.
//
// Not thread-safe: every access holds the manager's controllock.

#include <string>
#include <vector>

#include "sync/local/RecentEvents.h"

namespace nb {

struct MoveLists {
  std::vector<movefile_stx> renamelist;
  std::vector<movefile_stx> removelist;

  // True when a pending rename, then a pending move, has exactly `path` as
  // its old path.
  bool check_movelist(const std::string& path) const;
};

}  // namespace nb
