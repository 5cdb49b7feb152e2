// Server locks of files and folders, and the permission walks over a
// linked folder.
#include <filesystem>
#include <system_error>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilStatus.h"
#include "sync/centre/SyncManager.h"
#include "sync/operations/PageNotices.h"

namespace nb {

namespace {

namespace fs = std::filesystem;

// Depth first over `folder` without following symbolic links: a link to a
// folder outside would otherwise have its files changed, and a link loop
// would never end. Links themselves are left as they are.
void walkFiles(const std::string& folder, void (*apply)(const std::string&)) {
  std::string root = folder;
  if (root.size() > 1 && root.back() == '/') root.pop_back();
  std::error_code ec;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::file_status status = it->symlink_status(ec);
    if (ec) break;
    const std::string path = it->path().string();
    if (fs::is_directory(status)) {
      walkFiles(path, apply);
    } else if (fs::is_regular_file(status)) {
      apply(path);
    }
  }
}

}  // namespace

std::string SyncManager::setfilestatus(const std::string& webpath, int64_t dir, int64_t status) {
  if (!Util::getAppDelegate()->bLinkNetwork()) return Util::errorInfoWithCode(10001);
  const RequestRet ret = HTTPEngine::setFileLock(UserData::shareUserData().userToken(), webpath,
                                                 nMountID_, status != 0 ? "lock" : "unlock", 0);
  if (ret.nStatusCode() != 200) {
    const JsonValue answer = JsonObjectBuilder()
                                 .set("error", ret.nErrorCode())
                                 .set("message", ret.strErrorMsg())
                                 .build();
    return JSONString(answer).value_or("{}");
  }
  const int64_t lock = status == 1 ? 2 : status;
  const int64_t member = status == 1 ? UserData::shareUserData().userID() : 0;
  const std::string local = getnormalpath(webpath);
  if (dir != 1) {
    syncdb_->update_lock(webpath, lock, member);
    if (!local.empty()) Util::setfilereadwirte(local);
  } else {
    syncdb_->update_lock_dir(webpath, lock, member);
    if (!local.empty()) setallfilewrite(local);
  }
  sendUpdateFileInfo(*this, syncdb_->get_single_file(webpath));
  return Util::errorInfoWithCode(0);
}

void SyncManager::setallfilewrite(const std::string& folder) {
  walkFiles(folder, [](const std::string& path) { Util::setfilereadwirte(path); });
}

void SyncManager::setallfileread(const std::string& folder) {
  walkFiles(folder, [](const std::string& path) { Util::setfilereadonly(path); });
}

void SyncManager::setvisitupdatedateline(uint64_t /*dateline*/) { nUpdateNum = 0; }

}  // namespace nb
