#include "sync/local/ReadOnlyConflict.h"

#include <ctime>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "sync/centre/SyncManager.h"

namespace nb::local {

std::string conflictSuffix(uint64_t wallSeconds) {
  const std::time_t when = static_cast<std::time_t>(wallSeconds);
  std::tm tm{};
  localtime_r(&when, &tm);
  char date[32] = {};
  std::strftime(date, sizeof date, "%m-%d %H.%M.%S", &tm);
  std::string text = Util::localizedStringForKey(kReadOnlyConflictKey);
  if (const size_t at = text.find("%@"); at != std::string::npos) text.replace(at, 2, date);
  return text;
}

std::string conflictCopyName(const std::string& name, const std::string& suffix) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot + 1 == name.size()) return name + suffix;
  return name.substr(0, dot) + suffix + name.substr(dot);
}

std::string readOnlyConflictCopy(SyncManager& manager, const std::string& path,
                                 const SyncFileItem& row) {
  const std::string copy =
      getParent(path) + "/" + conflictCopyName(getFilename(path), conflictSuffix(platform::nowSeconds()));
  if (!Util::copyfile(path, copy)) {
    // Fetching the server's version now would overwrite the only copy of
    // the edit: it stays until a later event or scan can keep it.
    NBLOG_ERROR("cannot keep the refused edit of {} as {}", path, copy);
    return {};
  }
  manager.reset_sync(row.strWebPath, row.bDir, true);
  return copy;
}

}  // namespace nb::local
