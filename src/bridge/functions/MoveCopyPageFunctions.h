#pragma once
// Moves and copies of library items from the file browser, within one
// library or between two, and the keep-both naming their targets use.

#include <cstdint>
#include <string>

#include "bridge/dispatch/PageCall.h"

namespace nb {
class Syncdb;
}

namespace nb::bridge {

// The web path itself when the store has no live row for it (none, or
// status 6 or 7); else the first numbered form of its last component,
// from 2, that the store holds no live row for.
std::string keepBothWebPath(Syncdb& store, const std::string& webpath);

// The bodies of gMove and gCopy (queued): their answer texts.
std::string gMove(const PageCall& call);
std::string gCopy(const PageCall& call);

}  // namespace nb::bridge
