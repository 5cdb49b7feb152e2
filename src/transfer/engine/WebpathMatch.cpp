#include "transfer/engine/WebpathMatch.h"

#include "foundation/text/StringHelpers.h"

namespace nb {

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return a == b || lowercaseString(a) == lowercaseString(b);
}

}  // namespace

bool isAtOrUnder(std::string_view webpath, std::string_view path) {
  if (path.empty() || webpath == path) return true;
  return webpath.size() > path.size() && webpath.starts_with(path) && webpath[path.size()] == '/';
}

std::optional<std::string> renamedWebpath(std::string_view webpath, std::string_view oldpath,
                                          std::string_view newpath) {
  if (equalIgnoringCase(webpath, oldpath)) return std::string(newpath);
  if (webpath.size() <= oldpath.size() || webpath[oldpath.size()] != '/') return std::nullopt;
  if (!equalIgnoringCase(webpath.substr(0, oldpath.size()), oldpath)) return std::nullopt;
  std::string out(newpath);
  out += webpath.substr(oldpath.size());
  return out;
}

}  // namespace nb
