#pragma once
// Letter case between the server and a case-sensitive local file system.
//
// The server and the sync store treat names that differ only in ASCII
// letter case as one item (the store's NOCASE), and a store row takes the
// server's spelling. A local folder on Linux may spell the same item
// differently ("Work/a.txt" in the row, "work/a.txt" on disk), and may even
// hold two names the store cannot tell apart ("a.txt" and "A.txt"). The
// rules here decide, the same way for every caller, which local name
// stands for a row:
// - a mapped path that does not exist takes, for each missing name, the
//   local sibling equal to it under NOCASE (resolveCaseTwins);
// - of local names equal under NOCASE only one is synced: the one spelled
//   like the row, or else the first in byte order; the others are skipped
//   as ignored (CaseTwins).

#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace nb {

// Equality with ASCII letters folded, as the store's NOCASE compares.
bool equalsNoCase(std::string_view a, std::string_view b);

// Of `names` (one folder's entries), the one that stands for a row spelled
// `rowName`: the name spelled exactly like it, else the first in byte order
// of the names equal to it under NOCASE; "" when none is.
std::string caseTwinFor(const std::vector<std::string>& names, std::string_view rowName);

// `path` as it stands when anything exists there (symbolic links are not
// followed); otherwise each name below `folder`, from the first missing one
// on, is replaced by caseTwinFor of that folder's entries, until a name has
// no twin (the rest is then kept as given). `path` must be `folder` or lie
// below it; other paths come back unchanged. Reads the disk; takes no lock.
std::string resolveCaseTwins(const std::string& folder, const std::string& path);

// The local names a scan or an event must leave alone because a twin of
// theirs is synced. Logs each skipped path once per instance.
//
// Thread-safe.
class CaseTwins {
 public:
  // Of `names` (the entries of the local folder `folder`), those equal
  // under NOCASE to another entry and not chosen by caseTwinFor; a row name
  // of `rowNames` (the store's rows of that folder) decides which twin is
  // chosen. Keeps the order of `names`.
  std::vector<std::string> skipped(const std::string& folder, const std::vector<std::string>& names,
                                   const std::vector<std::string>& rowNames);

 private:
  std::mutex mutex_;
  std::set<std::string> logged_;  // guarded by mutex_
};

}  // namespace nb
