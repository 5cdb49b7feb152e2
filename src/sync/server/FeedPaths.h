#pragma once
// The two spellings of a folder in the change feed's bookkeeping, and the
// bits of a manager's nCallbackAction that the feed reports at its end.
//
// A cursor names its folder with a leading and a trailing "/" ("/" alone
// for the whole library); a re-read entry and a row name it plainly ("" for
// the whole library). Pure text functions.

#include <cstdint>
#include <string>

namespace nb {

// Bits of SyncManager::nCallbackAction.
inline constexpr int64_t kQueuedUpload = 1;
inline constexpr int64_t kQueuedDownload = 2;

// "a/b" -> "/a/b/", "" -> "/".
inline std::string cursorPathOfEntry(const std::string& webpath) {
  return webpath.empty() ? std::string("/") : "/" + webpath + "/";
}

// One leading and one trailing "/" dropped: "/a/b/" -> "a/b", "/" -> "".
inline std::string entryPathOfCursor(const std::string& cursorPath) {
  std::string path = cursorPath;
  if (!path.empty() && path.front() == '/') path.erase(0, 1);
  if (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace nb
