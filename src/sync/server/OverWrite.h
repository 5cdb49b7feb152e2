#pragma once
// The web paths of one library where the server's version may replace a
// differing local copy (the overwrite marks of the re-sync queue). Safe
// from any thread: every member holds nodeLock for its whole run.

#include <string>

#include "stores/common/NodeBase.h"

namespace nb {

class OverWrite : public NodeBase<std::string> {
 public:
  // Appends the path unless an entry with exactly the same text is there.
  void addNode(const std::string& webpath);
  // True when an entry is empty (the whole library), equals the path, or is
  // a folder above it; letter case ignored, as the server ignores it.
  bool checkNode(const std::string& webpath) const;
  // Removes the first entry with exactly the same text (letter case
  // counts); true when one was removed.
  bool removeNode(const std::string& webpath);
};

}  // namespace nb
