#include "bridge/open/FileOpen.h"

#include "api/calls/HTTPEngine.h"
#include "api/models/CompareItem.h"
#include "api/session/UserData.h"
#include "bridge/open/KeyedLocks.h"
#include "bridge/open/OpenActions.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilStatus.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "shell/tasks/OpenHistory.h"
#include "stores/cache/SyncCache.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/links/SafeWebPath.h"
#include "sync/local/IgnoreRules.h"
#include "sync/operations/Network.h"
#include "transfer/engine/Network.h"

namespace nb::bridge {

namespace {

constexpr int kOpenTimeoutSeconds = 5;
constexpr std::int64_t kUploadOpenedCopy = 1;
constexpr std::int64_t kDownloadToOpen = 1;

KeyedLocks& copyLocks() {
  static KeyedLocks locks;
  return locks;
}

bool online() { return Util::getAppDelegate()->bLinkNetwork(); }

std::string token() { return UserData::shareUserData().userToken(); }

bool badLastName(const std::string& name) { return name.empty() || name == "." || name == ".."; }

// A row as the server's open answer describes the entry.
void takeOpenAnswer(SyncFileItem& row, const RetOpen& ret) {
  row.strFileHash = ret.strFileHash;
  row.ullFileSize = ret.ullFileSize;
  row.strUuidHash = ret.strUuidHash;
  row.nLockID = ret.nLockID;
  row.nLock = ret.nLock;
  if (ret.strFileHash.empty() && ret.ullFileSize == 0) row.bDir = true;
}

}  // namespace

OpenRequest OpenRequest::from(const JsonValue& args) {
  OpenRequest r;
  r.webpath = jsonTextOrEmpty(args, "webpath");
  r.opentype = jsonTextOrEmpty(args, "opentype");
  r.filehash = jsonTextOrEmpty(args, "filehash");
  r.openpath = jsonTextOrEmpty(args, "openpath");
  r.mountid = jsonInt64(args, "mount_id");
  r.hid = jsonNumberOrText(args, "hid");
  r.uuidhash = jsonTextOrEmpty(args, "uuidhash");
  r.type = jsonNumberOrText(args, "type");
  r.readonly = jsonFlag(args, "readonly");
  r.lock = jsonFlag(args, "lock");
  return r;
}

FileOpen::FileOpen(OpenRequest request, std::int64_t hwnd)
    : request_(std::move(request)), hwnd_(hwnd) {}

std::string FileOpen::plainAnswer() const {
  return JSONString(JsonObjectBuilder()
                        .set("message", "")
                        .set("error", 0)
                        .set("showdlg", 0)
                        .set("mount_id", 0)
                        .set("webpath", "")
                        .set("fullpath", "")
                        .set("hid", request_.hid)
                        .build())
      .value_or("{}");
}

std::string FileOpen::downloadAnswer(bool readonly) const {
  return JSONString(JsonObjectBuilder()
                        .set("message", "")
                        .set("error", 0)
                        .set("showdlg", 1)
                        .set("mount_id", request_.mountid)
                        .set("webpath", request_.webpath)
                        .set("fullpath", record_.strFullpath)
                        .set("hid", request_.hid)
                        .set("readonly", readonly ? 1 : 0)
                        .build())
      .value_or("{}");
}

std::string FileOpen::run() {
  if (request_.mountid == 0) {
    // A local file, named by its own path.
    if (Util::existfile(request_.webpath)) {
      if (request_.readonly) Util::setfilelock(request_.webpath, true);
      openDesktop(request_.webpath);
    }
    return plainAnswer();
  }
  if (!request_.filehash.empty() && !isContentHash(request_.filehash)) {
    NBLOG_WARN("open of {} refused: the content hash is malformed", request_.webpath);
    return plainAnswer();
  }
  if (!request_.webpath.empty() && !isSafeEntryPath(request_.webpath)) {
    NBLOG_WARN("open refused: unsafe library path");
    return plainAnswer();
  }
  manager_ = SyncCenter::shareSyncCenter().GetSyncManager(request_.mountid);
  name_ = getFilename(request_.webpath);
  key_ = sha1HexDigest(std::to_string(request_.mountid) + "_" + request_.webpath);
  KeyedLocks::Hold hold(copyLocks(), key_);
  return runLocked();
}

std::string FileOpen::copyPathIn(const std::string& folder) const {
  const std::string dir = folder + "/" + key_ + "/";
  Util::createfolder(dir);
  return dir + name_;
}

std::string FileOpen::runLocked() {
  const bool managedCurrent = manager_ && request_.hid.empty() && request_.type.empty();
  if (managedCurrent && request_.webpath.empty()) {
    // The library itself: its linked root. A folder is never marked
    // read-only: the sync engine writes into it.
    const std::string root = manager_->getnormalpath("");
    if (!root.empty()) openDesktop(root);
    return plainAnswer();
  }
  if (badLastName(name_)) return plainAnswer();
  const bool canWrite = manager_ && manager_->getFilePropertyForWrite(request_.webpath);
  noWrite_ = manager_ && !canWrite;
  const UserData& user = UserData::shareUserData();
  const bool toOpenFolder = manager_ && canWrite && request_.hid.empty();
  record_.nMountid = request_.mountid;
  record_.strWebpath = request_.webpath;
  record_.strFilehash = request_.filehash;
  record_.nStatus = kTransWaiting;
  record_.nExpand = kDownloadToOpen;
  record_.strFullpath = copyPathIn(toOpenFolder ? user.openPath() : user.tempPath());
  return managedCurrent ? openManagedCurrent() : openOther();
}

std::string FileOpen::openManagedCurrent() {
  Syncdb& store = manager_->syncdb();
  SyncFileItem row = store.get_single_file(request_.webpath);
  if (row.nStatus == SyncStatus::kNotFound) {
    return request_.filehash.empty() ? plainAnswer() : byHashOpen(ByHashForm::B);
  }
  if (!online()) return commonSteps(row);
  const RetOpen ret = HTTPEngine::getFileOpen(token(), request_.webpath, request_.mountid,
                                              request_.hid, kOpenTimeoutSeconds, 0);
  if (ret.nStatusCode() == 200) {
    row.nStatus = 0;
    row.strWebPath = request_.webpath;
    takeOpenAnswer(row, ret);
    CompareItem item;
    row.ChangeToCompareItem(item);
    {
      std::lock_guard hold(*manager_);
      manager_->receive_add(item, nullptr, false, true);
    }
    store.updateVersionTimeByWebpath(request_.webpath, ret.ullDateline);
    return commonSteps(row);
  }
  if (!request_.filehash.empty()) {
    const std::string answer = byHashOpen(ByHashForm::A);
    store.updateVersionTimeByWebpath(request_.webpath, row.ullWebLastTime);
    return answer;
  }
  return commonSteps(row);
}

std::string FileOpen::openOther() {
  if (!online()) return commonSteps(std::nullopt);
  if (request_.type.empty()) {
    const RetOpen ret = HTTPEngine::getFileOpen(token(), request_.webpath, request_.mountid,
                                                request_.hid, kOpenTimeoutSeconds, 0);
    if (ret.nStatusCode() == 200) {
      SyncFileItem row;
      row.strWebPath = request_.webpath;
      takeOpenAnswer(row, ret);
      row.nLock = 1;
      row.nLockID = 0;
      return commonSteps(row);
    }
  }
  return request_.filehash.empty() ? plainAnswer() : byHashOpen(ByHashForm::C);
}

bool FileOpen::readOnlyCopyFor(const std::optional<SyncFileItem>& row) const {
  if (noWrite_) return true;
  return row && row->nLock == 1 && row->nLockID != UserData::shareUserData().userID();
}

std::optional<std::string> FileOpen::useLinkedPath(const std::optional<SyncFileItem>& row) {
  if (!manager_ || !request_.hid.empty()) return std::nullopt;
  const std::string linked = manager_->getnormalpath(request_.webpath);
  if (linked.empty() || isigonore(request_.webpath)) return std::nullopt;
  record_.strFullpath = linked;
  record_.bSync = true;
  if (Util::existfile(linked)) {
    openCopy(linked);
    return plainAnswer();
  }
  if (!row) return std::nullopt;
  if (row->bDir) {
    Util::createfolder(linked);
    openDesktop(linked);
    return plainAnswer();
  }
  manager_->syncdb().update_status(request_.webpath, SyncStatus::kDownloadPending);
  return std::nullopt;
}

std::string FileOpen::commonSteps(std::optional<SyncFileItem> row) {
  std::string source;
  if (row) source = SyncCache::shareSyncCache().getFullPathByFileHash(row->strFileHash);
  bool plainCopy = false;
  if (auto answer = useLinkedPath(row)) return *answer;
  // Without a row nothing says what the file holds: whatever is at the
  // copy path stays as it is, and an empty file never replaces it.
  if (!row) return plainAnswer();
  // A folder outside every link has no copy to make.
  if (row->bDir) return plainAnswer();
  const bool readOnlyCopy = readOnlyCopyFor(row);
  if (request_.hid.empty()) {
    const TransportItem upload =
        TransPortDB::shareTransPortDB().Get_Upload(request_.mountid, request_.webpath);
    if (upload.nIndex != 0) {
      if (upload.nExpand == kUploadOpenedCopy) {
        if (upload.nStatus != kTransFinished) {
          // The edited copy is still on its way up: the user goes on with it.
          Util::setfilelock(upload.strFullpath, readOnlyCopy);
          openCopy(upload.strFullpath);
          return plainAnswer();
        }
      } else if (upload.nStatus != kTransFinished ||
                 Util::getfilehash(upload.strFullpath).value_or("") == row->strFileHash) {
        source = upload.strFullpath;
        plainCopy = true;
      }
    }
  }
  if (row->ullFileSize == 0) return makeEmptyCopy(readOnlyCopy);
  if (!clearTarget()) return plainAnswer();
  if (!source.empty() && Util::existfile(source)) {
    return copyFromSource(source, plainCopy, readOnlyCopy);
  }
  return downloadToOpen(*row, readOnlyCopy);
}

bool FileOpen::clearTarget() {
  const std::string& path = record_.strFullpath;
  if (!Util::existfile(path)) return true;
  if (Util::isdir(path)) {
    NBLOG_WARN("a folder stands where the copy {} goes", path);
    return false;
  }
  // The copy there may hold edits that never went up. It goes only when
  // the cache took its bytes under their own hash (the cache refuses large
  // files); otherwise it is moved aside, never lost.
  const std::optional<std::string> hash = Util::getfilehash(path);
  if (hash && SyncCache::shareSyncCache().addCacheFileByPath(path, *hash)) {
    Util::setfilelock(path, false);
    return Util::deletefile(path);
  }
  const std::string keep = UserData::shareUserData().tempPath();
  Util::createfolder(keep);
  const std::string aside =
      keep + "/kept_" + std::to_string(platform::nowSeconds()) + "_" + key_ + "_" + name_;
  Util::setfilelock(path, false);
  if (!Util::movefile(path, aside)) {
    NBLOG_ERROR("the copy {} can neither be cached nor moved aside: it stays", path);
    return false;
  }
  NBLOG_WARN("the copy {} was not cached: kept as {}", path, aside);
  return true;
}

void FileOpen::addHistory(std::uint64_t uploadtime) { recordOpenHistory(record_, uploadtime); }

void FileOpen::lockWhenAsked(bool readOnlyCopy) {
  if (request_.lock && !readOnlyCopy && !request_.readonly) {
    SyncCenter::shareSyncCenter().lockPath(record_.strFullpath);
  }
}

std::string FileOpen::copyFromSource(const std::string& source, bool plainCopy,
                                     bool readOnlyCopy) {
  const std::string& path = record_.strFullpath;
  Util::setfilelock(path, false);
  const bool copied = plainCopy ? Util::copyfileneedtemp(source, path)
                                : SyncCache::shareSyncCache().copyDecrypt(source, path);
  if (!copied) {
    NBLOG_WARN("no copy of {} could be made at {}", request_.webpath, path);
    return plainAnswer();
  }
  const std::uint64_t now = platform::nowSeconds();
  Util::setfilemodifytime(path, now);
  record_.ullFilesize = Util::filesize(path);
  record_.ullLast = Util::filemodifytime(path);
  addHistory(record_.ullLast);
  lockWhenAsked(readOnlyCopy);
  Util::setfilelock(path, readOnlyCopy);
  openMadeCopy(path);
  return plainAnswer();
}

std::string FileOpen::downloadToOpen(const SyncFileItem& row, bool readOnlyCopy) {
  if (!isContentHash(row.strFileHash)) {
    NBLOG_WARN("{} has no usable content hash: nothing to download", request_.webpath);
    return plainAnswer();
  }
  record_.ullFilesize = row.ullFileSize;
  record_.strFilehash = row.strFileHash;
  addHistory(0);
  lockWhenAsked(readOnlyCopy);
  record_.nStat = 0;
  return queueDownload(readOnlyCopy || request_.readonly, false);
}

std::string FileOpen::makeEmptyCopy(bool readOnlyCopy) {
  const std::string& path = record_.strFullpath;
  if (!clearTarget()) return plainAnswer();
  Util::createfile(path);
  if (!Util::existfile(path)) return plainAnswer();
  record_.ullFilesize = Util::filesize(path);
  Util::setfilemodifytime(path, platform::nowSeconds());
  record_.ullLast = Util::filemodifytime(path);
  addHistory(record_.ullLast);
  Util::setfilelock(path, readOnlyCopy);
  lockWhenAsked(readOnlyCopy);
  openMadeCopy(path);
  return plainAnswer();
}

std::string FileOpen::byHashOpen(ByHashForm form) {
  record_.strFullpath = copyPathIn(UserData::shareUserData().tempPath());
  record_.bSync = false;
  const std::string& path = record_.strFullpath;
  SyncCache& cache = SyncCache::shareSyncCache();
  const std::string entry = cache.getFullPathByFileHash(request_.filehash);
  if (!entry.empty()) {
    Util::setfilelock(path, false);
    if (cache.copyDecrypt(entry, path)) {
      if (form == ByHashForm::C) {
        record_.ullFilesize = Util::filesize(path);
        record_.ullLast = Util::filemodifytime(path);
      }
      Util::setfilelock(path, true);
      openCopy(path);
    }
    return plainAnswer();
  }
  if (form == ByHashForm::B && !online()) return plainAnswer();
  const RetGetDownload ret = HTTPEngine::getUrlByFileHash(
      token(), request_.mountid, request_.filehash, request_.uuidhash, 0, "", 0);
  if (ret.nStatusCode() != 200) return plainAnswer();
  record_.ullFilesize = ret.filesize;
  record_.strFilehash = request_.filehash;
  record_.nStat = 1;
  if (form == ByHashForm::B) addHistory(0);
  return queueDownload(noWrite_ || request_.readonly, form == ByHashForm::B);
}

std::string FileOpen::queueDownload(bool readonly, bool lockAfterAdd) {
  TransPortDB::shareTransPortDB().Add_Download(record_);
  if (lockAfterAdd && request_.lock && !noWrite_ && !request_.readonly) {
    SyncCenter::shareSyncCenter().lockPath(record_.strFullpath);
  }
  if (auto network = Network::shareNetwork()) {
    network->SendCallbackAction(TransDirection::Download, "reget");
  }
  // Only the real engine has downloads to send back to waiting.
  if (auto engine = std::dynamic_pointer_cast<transfer::Network>(Network::shareNetwork())) {
    engine->dManager().StopDownloadForOpen();
  }
  return downloadAnswer(readonly);
}

void FileOpen::openCopy(const std::string& path) {
  if (Util::CheckNote(request_.opentype)) {
    openInNoteEditor(path, request_.mountid, request_.webpath, hwnd_);
  } else {
    openDesktop(path);
  }
}

void FileOpen::openMadeCopy(const std::string& path) {
  if (Util::CheckNote(request_.opentype)) {
    openInNoteEditor(path, request_.mountid, request_.webpath, hwnd_);
    return;
  }
  if (request_.readonly) Util::setfilelock(path, true);
  openDesktop(path);
}

void FileOpen::openDesktop(const std::string& path) {
  openWithDesktop(path, request_.opentype, allowedApplication(path, request_.openpath));
}

}  // namespace nb::bridge
