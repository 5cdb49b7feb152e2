#pragma once
// The copy kept of a user's edit that may not reach the server: the edited
// file is copied next to itself under a dated name, and the path is fetched
// again from the server over the edit.

#include <cstdint>
#include <string>

#include "stores/syncdb/SyncFileItem.h"

namespace nb {

class SyncManager;

namespace local {

// The language key of the copy's suffix; "%@" stands for the date.
inline constexpr const char* kReadOnlyConflictKey = "%@只读冲突";

// The suffix for a copy made at `wallSeconds`: the localized key (the key
// itself when untranslated) with the local time as "MM-dd HH.mm.ss".
std::string conflictSuffix(uint64_t wallSeconds);
// "report.docx" + suffix -> "report" suffix ".docx"; a name without an
// extension takes the suffix at its end.
std::string conflictCopyName(const std::string& name, const std::string& suffix);

// Copies the local file at `path` (row `row`) to its conflict name, replacing
// anything there, then resets the row's path with overwrite. Answers the
// copy's path; "" when the copy could not be made, and then nothing is
// reset. The caller holds controllock.
std::string readOnlyConflictCopy(SyncManager& manager, const std::string& path,
                                 const SyncFileItem& row);

}  // namespace local
}  // namespace nb
