// A new empty file, a file from an enterprise template, or a folder, made
// by a page in one library.
#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilStatus.h"
#include "platform/AppFolders.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "stores/syncdb/SyncStatus.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/operations/PageNotices.h"

namespace nb {

namespace {

constexpr const char* kEmptyHash = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
// Content the server is never asked to create from its hash alone.
constexpr const char* kAlwaysUploadHash = "fd9e194c7e82aeb25c6b3e857e631680a19df3b2";
constexpr int64_t kFileExists = 10000;
constexpr int64_t kFolderExists = 10012;

// The template file of a page's name: the user's template folder (where
// enterprise templates are fetched to) first,
// then the one installed with the program. "" when neither holds it, and for
// a name that is not a plain file name (the page must not reach elsewhere).
std::string templatePath(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos) {
    return {};
  }
  for (const auto& folder : {platform::templateFolder(), platform::installDataFolder() / "UI"}) {
    const std::string path = (folder / name).string();
    if (Util::isfile(path)) return path;
  }
  return {};
}

bool liveRow(const SyncFileItem& row) {
  return row.nStatus != SyncStatus::kNotFound && row.nStatus != SyncStatus::kRemovedOnServer &&
         row.nStatus != SyncStatus::kDeletedLocally;
}

// The row's content from its source file, or the empty content.
void fillContent(SyncFileItem& row, const std::string& source) {
  row.strFileHash.clear();
  row.ullFileSize = 0;
  if (row.bDir) return;
  const auto hash = source.empty() ? std::nullopt : Util::getfilehash(source);
  if (!hash) {
    row.strFileHash = kEmptyHash;
    return;
  }
  row.strFileHash = *hash;
  row.ullFileSize = Util::filesize(source);
  SyncCache::shareSyncCache().addCacheFileByPath(source, *hash);
}

}  // namespace

std::string SyncManager::gNewFile(const std::string& webpath, int64_t dir,
                                  const std::string& property, const std::string& templ) {
  const bool isDir = dir == 1;
  SyncFileItem row = syncdb_->get_single_file(webpath);
  if (liveRow(row)) {
    if (!property.empty()) return Util::errorInfoWithCode(0);
    return Util::errorInfoWithCode(isDir ? kFolderExists : kFileExists);
  }
  const std::string templateFile = isDir ? std::string() : templatePath(templ);
  const uint64_t now = platform::nowSeconds();
  const bool linked = linkfolder_.linkTypeByWebPath(webpath) != LinkType::kNone;
  std::string source = templateFile;
  int64_t status = templateFile.empty() ? SyncStatus::kUploadPending : SyncStatus::kServerOnly;
  if (linked) {
    const std::string local = getnormalpath(webpath);
    // A file at the path without a live row holds the user's own content:
    // a template must not replace it.
    if (!templateFile.empty() && Util::isfile(local)) return Util::errorInfoWithCode(kFileExists);
    if (isDir) {
      Util::createfolder(local);
    } else if (!templateFile.empty()) {
      Util::copyfile(templateFile, local);
    } else {
      Util::createfolder(local.substr(0, local.rfind('/')));
      Util::createfile(local);
    }
    Util::setfilemodifytime(local, now);
    status = SyncStatus::kUploadPending;
    source = isDir ? std::string() : local;
  }
  const UserData& user = UserData::shareUserData();
  row.strWebPath = webpath;
  row.bDir = isDir;
  row.strUuidHash.clear();
  row.nLastID = user.userID();
  row.strLastName = user.userWebName();
  row.ullCreatorTime = row.ullLastTime = now;
  row.nLock = row.nLockID = 0;
  row.nStatus = status;
  row.strProperty = property;
  fillContent(row, source);
  row.nUpID = getFileUpID(webpath);
  if (row.nUpID == -1) NBLOG_ERROR("getFileUpID error {}", webpath);
  row.nID = syncdb_->add_new_file(row);
  if (!createOnServer(row, linked, now)) {
    Add_Upload(row, source, linked, webpath);
  }
  return Util::errorInfoWithCode(0);
}

// True when the server holds the whole item afterwards; false when its
// content (or the item itself) still has to be uploaded.
bool SyncManager::createOnServer(SyncFileItem& row, bool linked, uint64_t now) {
  if (!Util::getAppDelegate()->bLinkNetwork() || row.strFileHash == kAlwaysUploadHash) return false;
  const std::string token = UserData::shareUserData().userToken();
  const RetCreateFile ret =
      row.bDir ? HTTPEngine::setFileCreateFolder(token, row.strWebPath, nMountID_, now, now, 0)
               : HTTPEngine::setFileCreateFile(token, row.strWebPath, nMountID_, row.strFileHash,
                                               row.ullFileSize, 0, now, now, 0);
  if (ret.nStatusCode() != 200) return false;
  row.strUuidHash = ret.strHash;
  row.nStatus = linked ? SyncStatus::kSynced : SyncStatus::kServerOnly;
  syncdb_->update_uuidhash(row.strWebPath, row.strUuidHash);
  syncdb_->update_status(row.strWebPath, row.nStatus);
  sendUpdateFileInfo(*this, row);
  return row.bDir || ret.nState == RetCreateFile::kStateComplete;
}

}  // namespace nb
