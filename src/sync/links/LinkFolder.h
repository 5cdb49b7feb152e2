#pragma once
// The linked local folders of one library (LINKNODE rows), in the order
// they were added, and the mapping between web paths and local paths.
// Matching follows PathMatch.h and the first link in order that holds a
// path rules it. Every operation holds the list's lock for its whole run;
// safe from any thread.

#include <cstdint>
#include <string>
#include <vector>

#include "stores/common/NodeBase.h"
#include "stores/syncdb/LinkFolderNode.h"

namespace nb {

class LinkFolder : public NodeBase<LinkFolderNode> {
 public:
  // A link of an already listed web path (letter case ignored) only takes
  // the new local folder; anything else is appended. Hides the base's.
  void addNode(LinkFolderNode node);

  // The local path of a web path; "" when no link holds it.
  std::string normalPathByWebPath(const std::string& webpath) const;

  // The type of the ruling link (LinkType), LinkType::kNone when no link
  // holds the path. `parent`, when given, gets "/" for a whole-library link
  // and else the ruling link's web path as stored.
  int64_t linkTypeByWebPath(const std::string& webpath, std::string* parent = nullptr) const;

  // Copies of every link, for walks without the lock.
  std::vector<LinkFolderNode> getLinkNodes() const { return nodes(); }
  bool haveNode() const;
};

}  // namespace nb
