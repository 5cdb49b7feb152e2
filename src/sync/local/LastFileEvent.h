#pragma once
// The web paths the engine has just renamed on the server, so that the
// change feed's echo of its own rename is skipped while it is fresh
// (younger than kFreshSeconds). Letter case does not count; an entry also
// covers the paths below it, unless it ends with "/" (then it matches only
// its own text). An entry also names where the item went, when known, so
// that the feed's report of an item at the old path can be told apart from
// its echo: another member may put a new item there right after the rename.
//
// Every member takes nodeLock; safe from any thread.

#include <cstdint>
#include <string>

#include "stores/common/NodeBase.h"

namespace nb {

struct LastFileEventItem {
  std::string strWebPath;    // as added, letter case kept
  std::string strNewWebPath; // where the item went; empty when not known
  uint64_t ullLastTime = 0;  // when added or refreshed, seconds since 1970
};

class LastFileEvent : public NodeBase<LastFileEventItem> {
 public:
  static constexpr uint64_t kFreshSeconds = 61;

  using NodeBase::addNode;
  // Refreshes an entry equal ignoring case, or appends a new one;
  // `newwebpath` is where the renamed item now stands (empty: not known).
  void addNode(const std::string& webpath, const std::string& newwebpath = {});
  // True when the first entry that equals `webpath` or is a folder above it
  // (ignoring case) exists; `timeout` becomes true when that entry is
  // kFreshSeconds old or older and is left alone otherwise. `movedTo`, when
  // given, becomes the path the item at `webpath` was renamed to, or empty
  // when the entry does not know it.
  bool checkNode(const std::string& webpath, bool& timeout, std::string* movedTo = nullptr) const;
  // Removes the first entry equal to `webpath` ignoring case.
  void delNode(const std::string& webpath);
};

}  // namespace nb
