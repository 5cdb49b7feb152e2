#include "sync/local/MoveLists.h"

#include <algorithm>

namespace nb {

bool MoveLists::check_movelist(const std::string& path) const {
  const auto isOld = [&](const movefile_stx& entry) { return entry.oldpath == path; };
  return std::any_of(renamelist.begin(), renamelist.end(), isOld) ||
         std::any_of(removelist.begin(), removelist.end(), isOld);
}

}  // namespace nb
