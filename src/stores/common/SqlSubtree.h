#pragma once
// The subtree test of the stores' path columns. A path's subtree is every
// row whose path begins with the path followed by "/", ASCII letters
// compared without regard to case, and no character of the path acting as
// a wildcard.
//
// It is written as a range on the column: under COLLATE NOCASE the paths
// that begin with p + "/" are exactly those from p + "/" up to, not
// including, p + "0" ("0" follows "/" directly). Unlike LIKE with an ESCAPE
// clause, which this SQLite does not answer from an index, the range uses
// the path index, and no character needs escaping.
//
// Statements write kSubtree (for the column "path") and bind
// subtreeFrom(p), subtreeTo(p) in that order. Without statistics SQLite
// prefers an equality on the folder flag or a status list over the range,
// and walks most of the table; statements that combine them write those
// other columns as "+dir", "+status", which keeps them off their indexes.

#include <string>
#include <string_view>

#include "foundation/sqlite/SqlValue.h"

namespace nb {

inline constexpr const char* kSubtree = "(path>=? and path<?)";

inline SqlValue subtreeFrom(std::string_view path) { return std::string(path) + "/"; }
inline SqlValue subtreeTo(std::string_view path) { return std::string(path) + "0"; }

}  // namespace nb
