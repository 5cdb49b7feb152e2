#pragma once
// The folders of one library whose listing a page has fetched from the
// server, so that a page asking again while the library has no stored state
// does not start a second first listing. One per SyncManager, never emptied.
//
// The test is of one folder, not of its subtree. Safe from any thread.

#include <string>

#include "stores/common/NodeBase.h"

namespace nb {

class MarkGetFileList : public NodeBase<std::string> {
 public:
  // Appends the web path unless exactly the same text (letter case
  // included) is already there. Hides the base's plain append.
  void addNode(std::string webpath);
  // True when the folder was recorded, letter case ignored; the empty path
  // (the library's root) only matches a recorded empty path.
  bool checkNodeByWebPath(const std::string& webpath) const;
};

}  // namespace nb
