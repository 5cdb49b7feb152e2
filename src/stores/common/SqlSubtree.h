#pragma once
// The one subtree rule of the stores' path columns (the sync store's rows,
// its link, former-link and cache-folder rows, the transfer store's rows).
// The subtree of a path P is every row whose path begins with P + "/",
// ASCII letters compared without regard to case, and no character of P
// acting as a wildcard; "at or under P" adds the row whose path is P.
//
// It is written as a range on the column: under NOCASE the paths that
// begin with P + "/" are exactly those from P + "/" up to, not including,
// P + "0" ("0" follows "/" directly). Unlike LIKE with an ESCAPE clause,
// which this SQLite does not answer from an index, the range uses the
// column's index (the path columns are declared NOCASE), and no character
// needs escaping.
//
// Statements write subtreeOf(column) and bind subtreeFrom(P), subtreeTo(P)
// (appendSubtreeArgs), or atOrSubtreeOf(column) with P and those two
// (appendAtOrSubtreeArgs). Without statistics
// SQLite prefers an equality on the folder flag or a status list over the
// range, and walks most of the table; statements that combine them write
// those other columns as "+dir", "+status", which keeps them off their
// indexes.

#include <string>
#include <string_view>

#include <fmt/format.h>

#include "foundation/sqlite/SqlValue.h"

namespace nb {

// "the column lies in P's subtree"; binds subtreeFrom(P), subtreeTo(P).
inline std::string subtreeOf(std::string_view column) {
  return fmt::format("({0}>=? COLLATE NOCASE and {0}<? COLLATE NOCASE)", column);
}
inline SqlValue subtreeFrom(std::string_view path) { return std::string(path) + "/"; }
inline SqlValue subtreeTo(std::string_view path) { return std::string(path) + "0"; }
inline void appendSubtreeArgs(SqlArgs& args, std::string_view path) {
  args.push_back(subtreeFrom(path));
  args.push_back(subtreeTo(path));
}

// "the column is P or lies in its subtree"; binds three values.
inline std::string atOrSubtreeOf(std::string_view column) {
  return fmt::format("({0}=? COLLATE NOCASE or {1})", column, subtreeOf(column));
}
inline void appendAtOrSubtreeArgs(SqlArgs& args, std::string_view path) {
  args.emplace_back(std::string(path));
  appendSubtreeArgs(args, path);
}

// The sync store's "path" column, which most statements test.
inline const std::string kSubtree = subtreeOf("path");

// The column's value moved from the subtree of O into that of N: N followed
// by what comes after O's characters; binds N then O.
inline std::string subtreeRenamed(std::string_view column) {
  return fmt::format("?||substr({0},length(?)+1)", column);
}

}  // namespace nb
