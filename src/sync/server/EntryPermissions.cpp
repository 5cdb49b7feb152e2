// The signed-in user's rights on single entries of a library: the rows'
// own permission lists, falling back to the library's bits.
#include <filesystem>
#include <set>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
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

int64_t verdictCode(int64_t bits, const std::string& property, std::string_view word) {
  if ((bits & Permission::kFileSync) != 0) return 1;
  switch (entryVerdict(property, word)) {
    case Verdict::Allowed: return 1;
    case Verdict::Refused: return 2;
    case Verdict::Undecided: break;
  }
  return 0;
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

int64_t SyncManager::checkFilePropertyForRead(const std::string& property, int64_t permission) {
  return verdictCode(permission, property, "file_read");
}

int64_t SyncManager::checkFilePropertyForWrite(const std::string& property) const {
  return verdictCode(nPermissions, property, "file_write");
}

int64_t SyncManager::checkFilePropertyForUpload(const std::string& property) const {
  return verdictCode(nPermissions, property, "file_upload");
}

int64_t SyncManager::checkFilePropertyForDelete(const std::string& property) const {
  return verdictCode(nPermissions, property, "file_delete");
}

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

bool SyncManager::checkCanDownloadForFolder(const std::string& webpath) {
  if ((nPermissions & Permission::kFileSync) != 0) return true;
  // Folder ids already walked: a damaged store whose rows name each other
  // as parents must not make the walk endless.
  std::set<int64_t> seen;
  std::vector<std::string> folders{webpath};
  while (!folders.empty()) {
    const std::string folder = std::move(folders.back());
    folders.pop_back();
    const SyncFileItem row = syncdb_->get_single_file(folder);
    if (!folder.empty() && checkFilePropertyForRead(row.strProperty, nPermissions) == 2) {
      return false;
    }
    const int64_t id = folder.empty() ? 0 : row.nID;
    if (id < 0 || !seen.insert(id).second) continue;
    for (const auto& child : syncdb_->get_all_dir(id, "")) folders.push_back(child.strWebPath);
  }
  return true;
}

void SyncManager::setNormalFilePropertyLower(const std::string& webpath, bool write) {
  std::set<int64_t> seen;  // as in checkCanDownloadForFolder
  std::vector<std::pair<std::string, bool>> items{{webpath, write}};
  while (!items.empty()) {
    const auto [path, flag] = std::move(items.back());
    items.pop_back();
    const std::string local = getnormalpath(path);
    if (local.empty()) continue;
    std::error_code ec;
    const auto st = std::filesystem::symlink_status(local, ec);
    if (std::filesystem::is_regular_file(st)) {
      if (flag) {
        Util::setfilereadwirte(local);
      } else {
        Util::setfilereadonly(local);
      }
      continue;
    }
    // Folders keep their own flags; links are left alone.
    if (!std::filesystem::is_directory(st)) continue;
    const int64_t id = path.empty() ? 0 : syncdb_->getID(path);
    if (id < 0 || !seen.insert(id).second) continue;
    for (const auto& child : syncdb_->get_all_fileanddir(id, "")) {
      items.emplace_back(child.strWebPath,
                         child.bDir ? getFilePropertyForWrite(child.strWebPath) : flag);
    }
  }
}

}  // namespace nb
