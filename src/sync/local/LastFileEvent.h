#pragma once
// The web paths the engine has just renamed on the server, so that the
// change feed's echo of its own rename is skipped while it is fresh
// (younger than kFreshSeconds). Letter case does not count; an entry also
// covers the paths below it, unless it ends with "/" (then it matches only
// its own text).
//
// Every member takes nodeLock; safe from any thread.

#include <cstdint>
#include <string>

#include "stores/common/NodeBase.h"

namespace nb {

struct LastFileEventItem {
  std::string strWebPath;    // as added, letter case kept
  uint64_t ullLastTime = 0;  // when added or refreshed, seconds since 1970
};

class LastFileEvent : public NodeBase<LastFileEventItem> {
 public:
  static constexpr uint64_t kFreshSeconds = 61;

  using NodeBase::addNode;
  // Refreshes an entry equal ignoring case, or appends a new one.
  void addNode(const std::string& webpath);
  // True when the first entry that equals `webpath` or is a folder above it
  // (ignoring case) exists; `timeout` becomes true when that entry is
  // kFreshSeconds old or older and is left alone otherwise.
  bool checkNode(const std::string& webpath, bool& timeout) const;
  // Removes the first entry equal to `webpath` ignoring case.
  void delNode(const std::string& webpath);
};

}  // namespace nb
