#pragma once
// The subtree test of the stores' path columns. A path's subtree is every
// row whose path begins with the path followed by "/", ASCII letters
// compared without regard to case (LIKE does that), and no character of the
// path acting as a wildcard: "%", "_" and the escape character itself are
// escaped, so a folder named a_b never holds the rows of axb.
//
// Statements write the test as "<column> like ? escape '\'" and bind
// subtreePattern(path).

#include <string>
#include <string_view>

namespace nb {

// The LIKE pattern of the subtree of `path`.
std::string subtreePattern(std::string_view path);

}  // namespace nb
