// The overlap checks a new link or cache-mode folder must pass, on the
// library side and on the local side, and the per-link summary of pages.
#include <optional>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilStatus.h"
#include "foundation/util/UtilUrl.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"

namespace nb {
namespace {

constexpr int64_t kOverlapCode = 10011;
constexpr int64_t kCacheType = 3;
constexpr const char* kOverlapMessage = "文件夹 [%@] 已设置了 %@";

std::string overlap(const std::string& folder, const char* kind) {
  const std::string text = fillMarks(Util::localizedStringForKey(kOverlapMessage),
                                     {folder, Util::localizedStringForKey(kind)});
  return Util::errorInfoWithCode(kOverlapCode, text);
}

bool strictlyInside(const std::string& lowerPath, const std::string& lowerFolder) {
  return lowerPath.starts_with(lowerFolder + "/");
}

// The five overlap tests against one existing folder (all lower-cased but
// `stored`, the folder's web path as stored). `sameAllowed` lets an equal
// path pass. Nothing when the two do not overlap.
std::optional<std::string> overlapWith(const std::string& w, const std::string& l,
                                       const std::string& stored, const std::string& library,
                                       const char* kind, bool sameAllowed) {
  if (l.empty()) return overlap(library, kind);
  if (w.empty()) return overlap(stored, kind);
  if (w == l && !sameAllowed) return overlap(stored, kind);
  if (strictlyInside(w, l) || strictlyInside(l, w)) return overlap(stored, kind);
  return std::nullopt;
}

}  // namespace

std::string SyncManager::check_Link(const std::string& webpath, int64_t type) {
  const std::string w = lowercaseString(webpath);
  const std::string library = _strMountName();
  for (const auto& link : linkfolder_.getLinkNodes()) {
    const std::string l = lowercaseString(link.strWebPath);
    const char* kind = link.nType == LinkType::kBackup ? "备份" : "同步";
    const bool sameType = link.nType == type;
    // Asking for any kind of link where a sync link stands: that link is it.
    if (!l.empty() && w == l && type == LinkType::kUnset && link.nType == LinkType::kSync) {
      return Util::errorInfoWithCode(0);
    }
    if (auto refused = overlapWith(w, l, link.strWebPath, library, kind, sameType)) {
      return *refused;
    }
  }
  for (const auto& cache : cachefolder_.getCacheNodes()) {
    const std::string c = lowercaseString(cache.strWebPath);
    if (auto refused =
            overlapWith(w, c, cache.strWebPath, library, "缓存", type == kCacheType)) {
      return *refused;
    }
  }
  return Util::errorInfoWithCode(0);
}

bool SyncManager::check_dir_legecy(const std::string& path, std::string& linkpath) const {
  if (path.empty()) {
    linkpath.clear();
    return true;
  }
  const std::string p = lowercaseString(path);
  for (const auto& link : linkfolder_.getLinkNodes()) {
    const std::string f = lowercaseString(link.strFullPath);
    if (p == f || p.starts_with(lastaddslash(f)) || f.starts_with(lastaddslash(p))) {
      linkpath = link.strFullPath;
      return false;
    }
  }
  return true;
}

void SyncManager::getlinkpathjson(std::vector<JsonValue>& list) {
  for (const auto& link : linkfolder_.getLinkNodes()) {
    list.push_back(JsonValue::object({
        {"mount_id", nMountID_},
        {"webpath", link.strWebPath},
        {"fullpath", lastaddslash(link.strFullPath)},
        {"num", syncdb_->getsyncstatuscount(link.strWebPath)},
        {"type", link.nType},
    }));
  }
}

}  // namespace nb
