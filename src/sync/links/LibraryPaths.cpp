#include "sync/links/LibraryPaths.h"

#include "api/session/UserData.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "stores/syncdb/Syncdb.h"
#include "sync/links/LinkFolder.h"
#include "sync/links/SafeWebPath.h"

namespace nb::links {

namespace {

std::string libraryFolder(const UserData& user, int64_t nMountID) {
  std::string folder = user.getuserfolderpath() + "/" + std::to_string(nMountID);
  if (!Util::createfolder(folder)) NBLOG_WARN("cannot create library folder {}", folder);
  return folder;
}

}  // namespace

std::string getsyncdbpath(const UserData& user, int64_t nMountID) {
  return libraryFolder(user, nMountID) + "/" + kSyncDbName;
}

std::string getsynctranscachepath(const UserData& user, int64_t nMountID) {
  return libraryFolder(user, nMountID) + "/cache";
}

std::string gGetNormalSyncPath(const UserData& user, Syncdb* store,
                               const std::string& strMountName, const std::string& webPath) {
  if (!isSafeWebPath(webPath)) return "";
  if (store) {
    std::string old = store->get_oldlink(webPath);
    if (!old.empty()) return old;
  }
  const std::string base = user.getnormalsyncpath() + "/" + safeFolderName(strMountName);
  return webPath.empty() ? base : base + "/" + webPath;
}

std::string gCheckEmpty(const LinkFolder& links, const std::string& webPath, bool dir) {
  if (dir) return links.checkLinkByWebPath(webPath) ? "0" : "1";
  const std::string path = links.normalPathByWebPath(webPath);
  if (path.empty()) return "1";
  return Util::existfile(path) ? "0" : "1";
}

}  // namespace nb::links
