#pragma once
// The one check for web paths that come from outside this process: the
// server (feed entries, listings, moves and restores) and pages. A web path
// names an item inside a library ("a/b/c"; "" is the library itself) and is
// appended to a local folder when it is mapped, so a path such as "../x" or
// "/etc" would reach outside the folder the user linked. Every code path
// that turns such a path into a local one calls isSafeWebPath first and
// treats a refused path as lying in no linked folder.
//
// Pure text functions: no state, no locks, safe from any thread.

#include <string>
#include <string_view>

namespace nb {

// True for "" and for "/"-separated names none of which is empty, "." or
// "..". Refused as well: a leading "/" and a NUL byte anywhere. One trailing
// "/" is allowed ("a/b/"), two are not (that is an empty name).
bool isSafeWebPath(std::string_view webPath);

// An entry the server names (a listed item, a feed item) lies inside the
// library: isSafeWebPath, but neither the library itself ("") nor a name
// with a trailing "/", which the path check lets by.
bool isSafeEntryPath(std::string_view webPath);

// True when `path` is `folder` itself or lies below it, compared byte for
// byte (local file systems tell letter case apart); one trailing "/" of
// either is ignored. A sibling whose name extends the folder's ("/a/bc" for
// "/a/b") is not below it.
bool isPathUnder(std::string_view path, std::string_view folder);

// A library or file name from the server made fit to be one component of a
// local path: "/" and NUL become "_", and a name that is then "", "." or
// ".." becomes "_".
std::string safeFolderName(std::string_view name);

}  // namespace nb
