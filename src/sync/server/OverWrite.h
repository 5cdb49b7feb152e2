#pragma once
// The web paths of one library where the server's version may replace a
// differing local copy (the overwrite marks of the re-sync queue). Safe
// from any thread.

#include <string>

#include "stores/common/NodeBase.h"

namespace nb {

class OverWrite : public NodeBase<std::string> {};

}  // namespace nb
