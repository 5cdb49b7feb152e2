#pragma once
// The linked folders of one library, in the order they were added, and the
// mapping between web paths and local paths that nearly every part of the
// sync engine asks of them.
//
// Web paths are matched ignoring letter case (the server does): a web path P
// lies in a link L when L's web path is empty (the whole library), equals P,
// or is followed in P by "/"; the first link in list order that matches
// decides. Local paths are matched exactly, one trailing "/" ignored, since
// the local file system tells "Sync" from "sync".
//
// Web paths given to the lookups come from the server or from pages: a path
// isSafeWebPath refuses lies in no link (type -1, local path "", NO), and a
// mapping never answers a local path outside its link's folder.
//
// Every operation holds nodeLock for its whole run and calls nothing outside
// the list while holding it, so it sees one unchanged list; callers that
// need a stable view over several steps walk getLinkNodes. Safe from any
// thread.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "stores/common/NodeBase.h"
#include "stores/syncdb/LinkFolderNode.h"

namespace nb {

class LinkFolder : public NodeBase<LinkFolderNode> {
 public:
  // A node whose web path (letter case ignored) is present replaces only
  // that link's local folder; otherwise it is appended. A node with an
  // unsafe web path is refused (false) and logged.
  bool addNode(LinkFolderNode node);

  // same: the first link whose web path equals the path. Otherwise every
  // link at or below the path. True when something was removed.
  bool removeByWebPath(const std::string& webPath, bool same);
  // Every link at or below the path, appended to `nodes` as it is removed.
  bool removeByWebPath(const std::string& webPath, std::vector<LinkFolderNode>& nodes);
  // The link at the old path and those below it move under the new path;
  // a new path that isSafeWebPath refuses changes nothing. True when a
  // link changed.
  bool renameByWebPath(const std::string& oldWebPath, const std::string& newWebPath);

  // Some link's local folder is this path.
  bool checkSameLinkByFullPath(const std::string& fullPath) const;
  // Some link's web path is this path.
  bool checkSameLinkByWebPath(const std::string& webPath) const;
  // The path lies in a link. `parent`, when given, gets "/" for a whole-
  // library link, else the ruling link's web path as stored.
  bool checkLinkByWebPath(const std::string& webPath, std::string* parent = nullptr) const;
  // The path lies strictly inside a link (a link's own path does not count
  // unless the whole library is linked).
  bool checkInLinkByWebPath(const std::string& webPath) const;

  // The local path of a web path, "" when it lies in no link. The part
  // below the link keeps the given letter case, except that, where nothing
  // exists at the mapped path, each missing name takes the spelling of a
  // local sibling equal to it under the store's NOCASE (resolveCaseTwins;
  // this reads the disk after the lock is released).
  std::string normalPathByWebPath(const std::string& webPath) const;
  // The same mapping as text only, without the disk.
  std::string literalPathByWebPath(const std::string& webPath) const;
  // The web path of a local path, "" when it lies in no link's folder (and
  // for a whole-library link's folder itself).
  std::string relativeRathByFullPath(const std::string& fullPath) const;

  // Copies of all links in list order.
  std::vector<LinkFolderNode> getLinkNodes() const { return nodes(); }
  // nType of the ruling link (LinkType), LinkType::kNone when the path
  // lies in no link; `parent` as for checkLinkByWebPath.
  int64_t linkTypeByWebPath(const std::string& webPath, std::string* parent = nullptr) const;
  bool haveNode() const;

 private:
  // The ruling link of a safe web path and where the path's part below it
  // begins; nullptr when none rules. Caller holds nodeLock.
  const LinkFolderNode* rulingLink(const std::string& webPath, size_t* restAt) const;
  // The ruling link's type, and its web path in `parent` ("/" for the
  // whole library); nothing when no link rules the path.
  std::optional<int64_t> rulingType(const std::string& webPath, std::string* parent) const;
  // literalPathByWebPath, also naming the ruling link's folder.
  std::string mapWebPath(const std::string& webPath, std::string* folder) const;
};

}  // namespace nb
