#pragma once
// The desktop favourites of linked folders: the shell's favourites folder
// (itself a desktop bookmark) holds one symbolic link per linked local
// folder.

#include <string>

namespace nb {

// Makes sure the favourites folder exists and is bookmarked, then, unless
// the shell already knows a link to `localFolder`, links it under the
// folder's own name, or "<name>(1)", "<name>(2)", ... when that is taken.
// Answers the link made, or "" (none needed, or it could not be made).
std::string addFavoriteLink(const std::string& localFolder);

}  // namespace nb
