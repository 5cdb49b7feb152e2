// Switching library folders into and out of cache mode, and saving the
// unchanged files of a local folder into the content cache.
#include <filesystem>
#include <system_error>

#include "api/session/UserData.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Clock.h"
#include "stores/cache/SyncCache.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/local/LocalSteps.h"
#include "sync/operations/Network.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

// A new content directory for each switch: "<user folder>/<library>/<SHA-1
// of web path and time>".
std::string contentDirectory(int64_t mountId, const std::string& webpath) {
  const std::string seed = webpath + "_" + std::to_string(platform::nowSeconds());
  return UserData::shareUserData().getuserfolderpath() + "/" + std::to_string(mountId) + "/" +
         sha1HexDigest(seed);
}

}  // namespace

bool SyncManager::set_cache(const std::string& webpath, int64_t status) {
  SyncCache& cache = SyncCache::shareSyncCache();
  if (status == 0) {
    for (const auto& old : takeCachesAt(webpath)) cache.deleteCacheByPath(old.strFullPath);
    TransPortDB::shareTransPortDB().RemoveWebpath(nMountID_, webpath);
    Network::shareNetwork()->ClearTrans(webpath, nMountID_);
    reset_sync(webpath, true, false);
    return true;
  }

  const CacheFolderItem item{webpath, contentDirectory(nMountID_, webpath)};
  Util::createfolder(item.strFullPath);
  bool registered = false;
  for (const auto& old : takeCachesAt(webpath)) {
    // The same folder switched on twice within one second names the same
    // directory: moving it into itself and deleting it would lose the copies.
    if (old.strFullPath == item.strFullPath) {
      registered = true;
      continue;
    }
    cache.moveCacheByPath(old.strFullPath, item.strFullPath);
    cache.deleteCacheByPath(old.strFullPath);
  }
  cachefolder_.addNode(item);
  syncdb_->add_cache(item);
  reset_sync(webpath, true, false);
  if (!registered) cache.addCacheByPath(item.strFullPath);
  return true;
}

void SyncManager::movetocache(const std::string& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string path = folder + "/" + it->path().filename().string();
    if (local::ignoredLocal(*this, path)) continue;
    // Links are neither followed nor copied: their targets are not the
    // library's files.
    const fs::file_status st = it->symlink_status(ec);
    if (ec) {
      ec.clear();
      continue;
    }
    if (fs::is_directory(st)) {
      movetocache(path);
    } else if (fs::is_regular_file(st)) {
      const SyncFileItem row = syncdb_->get_single_file(getrelativepath(path));
      if (row.nStatus == SyncStatus::kNotFound) continue;
      if (row.ullLastTime == Util::filemodifytime(path) &&
          row.ullFileSize == Util::filesize(path)) {
        SyncCache::shareSyncCache().addCacheFileByPath(path, row.strFileHash);
      }
    }
  }
}

}  // namespace nb
