// The signed-in user's rights on single entries of a library: the rows'
// own permission lists, falling back to the library's bits.
#include <string_view>

#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "stores/syncdb/SyncStatus.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"

namespace nb {
namespace {

enum class Verdict { Undecided, Allowed, Refused };

// What one entry's property says of `word`; only a list under "permisson"
// (spelled so by the service) decides.
Verdict entryVerdict(const std::string& property, std::string_view word) {
  const auto parsed = objectFromJSONString(property);
  if (!parsed || !parsed->isObject() || parsed->empty()) return Verdict::Undecided;
  const JsonValue& words = (*parsed)["permisson"];
  if (!words.isArray()) return Verdict::Undecided;
  for (const JsonValue& entry : words.elements()) {
    if (entry.isString() && entry.asString() == word) return Verdict::Allowed;
  }
  return Verdict::Refused;
}

bool effectiveRight(SyncManager& manager, const std::string& webpath, std::string_view word,
                    int64_t libraryBit) {
  const int64_t bits = manager.nPermissions;
  if ((bits & Permission::kFileSync) != 0) return true;
  for (std::string path = webpath; !path.empty(); path = getParent(path)) {
    const SyncFileItem row = manager.syncdb().get_single_file(path);
    if (row.nStatus == SyncStatus::kNotFound) continue;
    switch (entryVerdict(row.strProperty, word)) {
      case Verdict::Allowed: return true;
      case Verdict::Refused: return false;
      case Verdict::Undecided: break;
    }
  }
  return (bits & libraryBit) != 0;
}

}  // namespace

bool SyncManager::getFilePropertyForRead(const std::string& webpath) {
  return effectiveRight(*this, webpath, "file_read", Permission::kFileRead);
}

bool SyncManager::getFilePropertyForWrite(const std::string& webpath) {
  return effectiveRight(*this, webpath, "file_write", Permission::kFileWrite);
}

bool SyncManager::getFilePropertyForUpload(const std::string& webpath) {
  return effectiveRight(*this, webpath, "file_upload", Permission::kFileUpload);
}

bool SyncManager::getFilePropertyForDelete(const std::string& webpath) {
  return effectiveRight(*this, webpath, "file_delete", Permission::kFileDelete);
}

}  // namespace nb
