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

// Where `webPath` leaves the folder `folder` (letter case ignored): the
// length of webPath when the two are equal, the position of the "/" that
// follows the folder in webPath when it lies below it, npos otherwise. The
// comparison takes as many names of webPath as the folder has, so a letter
// whose lower case is longer or shorter cannot shift the cut.
inline size_t webPathPrefixEnd(std::string_view webPath, std::string_view folder) {
  constexpr size_t kNone = std::string_view::npos;
  size_t slashes = 0;
  for (const char c : folder) slashes += c == '/' ? 1 : 0;
  size_t end = 0;
  for (size_t i = 0;; ++i) {
    const size_t next = webPath.find('/', end);
    if (i == slashes) {
      end = next == kNone ? webPath.size() : next;
      break;
    }
    if (next == kNone) return kNone;
    end = next + 1;
  }
  if (lowercaseString(webPath.substr(0, end)) != lowercaseString(folder)) return kNone;
  return end;
}

inline bool webPathInFolder(std::string_view path, std::string_view folder) {
  return lowerWebPathInFolder(lowercaseString(path), lowercaseString(folder));
}

}  // namespace nb
