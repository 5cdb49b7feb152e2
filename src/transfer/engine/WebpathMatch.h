#pragma once
// How running transfers are matched to the library paths that commands of
// the sync engine name.

#include <optional>
#include <string>
#include <string_view>

namespace nb {

// `webpath` is `path` or lies under it ("path/..."), letter case kept; an
// empty `path` takes every path.
bool isAtOrUnder(std::string_view webpath, std::string_view path);

// The web path after `oldpath` was renamed to `newpath`, letter case ignored:
// `newpath` for `oldpath` itself, `newpath` + the rest for a path under it;
// nothing for any other path.
std::optional<std::string> renamedWebpath(std::string_view webpath, std::string_view oldpath,
                                          std::string_view newpath);

}  // namespace nb
