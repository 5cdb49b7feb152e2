#pragma once
// The containment rule of the link list, the cache-mode list and the list
// of folders being added: a web path lies in folder F when F is empty (the
// whole library), equals the path, or is followed in the path by "/". Both
// sides are compared lower-cased, so a sibling whose name merely extends
// F's ("Docs2" for "Docs") does not lie in F.

#include <string>
#include <string_view>

#include "foundation/text/StringHelpers.h"

namespace nb {

// Both arguments already lower-cased.
inline bool lowerWebPathInFolder(std::string_view lowerPath, std::string_view lowerFolder) {
  if (lowerFolder.empty() || lowerPath == lowerFolder) return true;
  return lowerPath.size() > lowerFolder.size() && lowerPath.starts_with(lowerFolder) &&
         lowerPath[lowerFolder.size()] == '/';
}

inline bool webPathInFolder(std::string_view path, std::string_view folder) {
  return lowerWebPathInFolder(lowercaseString(path), lowercaseString(folder));
}

}  // namespace nb
