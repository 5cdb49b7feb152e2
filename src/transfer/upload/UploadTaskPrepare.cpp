// The upload's preparation: whether it may run now, which file it sends,
// folders and uploads by content hash, and the delay rule.

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/AbsoluteTime.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "transfer/records/TransferRecords.h"
#include "transfer/upload/UploadTask.h"

namespace nb {
namespace {

constexpr std::int64_t kTokenUnknown = 40101;
constexpr std::int64_t kTokenExpired = 40102;
constexpr std::int64_t kRefused = 40310;
constexpr std::int64_t kSpaceFull = 40321;

std::string parentOf(const std::string& webpath) {
  const auto slash = webpath.rfind('/');
  return slash == std::string::npos ? "" : webpath.substr(0, slash);
}

}  // namespace

std::string UploadTask::snapshotPath(const TransTaskItem& item) {
  const std::string key = std::to_string(item.nMountid) + "-" + item.strWebpath + "-" +
                          std::to_string(item.ullLast);
  return UserData::shareUserData().getranscache() + "/upload_" + sha1HexDigest(key);
}

int UploadTask::initUpload() {
  const std::shared_ptr<SyncManager> found = manager();
  if (!found) {
    // The library is gone: none of its transfers can complete.
    environment_.transStore().RemoveMountid(item().nMountid);
    return 3;
  }
  SyncManager& syncManager = *found;
  if (syncManager.bSpaceMax) {
    if (absoluteTime() - syncManager.ftSpaceMaxTime > kSpaceMaxHoldOff) {
      syncManager.bSpaceMax = false;
    }
    postpone();
    return 3;
  }
  const Times times = chooseFile(&syncManager);
  const TransTaskItem record = item();
  if (record.bDir) return createFolder(syncManager, times);
  if (record.nExpand == UploadKind::kHashOnly) {
    if (record.strFilehash.empty()) {
      updateItem([](TransTaskItem& it) { it.nExpand = UploadKind::kNormal; });
    } else if (const int done = createByHash(syncManager, times); done != 0) {
      return done;
    }
  }
  if (!record.strSavepath.empty() && !Util::existfile(record.strSavepath)) {
    drop(syncManager);
    return 3;
  }
  if (!record.bSync) return 0;
  return delayRule(syncManager);
}

UploadTask::Times UploadTask::chooseFile(SyncManager* syncManager) {
  (void)syncManager;
  TransTaskItem record = item();
  Times times;
  std::string send;
  if (!record.strSavepath.empty()) {
    const std::string& local = record.strSavepath;
    if (record.bSync) {
      times.last = Util::filemodifytime(local);
      times.create = Util::filecreatetime(local);
      if (times.last != record.ullLast) {
        record.ullLast = times.last;
        record.ullFilesize = Util::filesize(local);
        updateItem([&](TransTaskItem& it) {
          it.ullLast = record.ullLast;
          it.ullFilesize = record.ullFilesize;
        });
        environment_.transStore().Update_UploadFilesizeAndLast(record.nIndex, record.ullFilesize,
                                                               record.ullLast);
      }
    }
    send = local;
    if (!record.bDir && !Util::isdir(local) && Util::filesize(local) < kSnapshotLimit) {
      const std::string snapshot = snapshotPath(record);
      std::error_code ignored;
      std::filesystem::create_directories(std::filesystem::path(snapshot).parent_path(), ignored);
      if (Util::copyfileneedtemp(local, snapshot)) send = snapshot;
    }
  }
  updateItem([&](TransTaskItem& it) {
    it.nStatus = kTransRunning;
    it.strTemppath = send;
  });
  return times;
}

int UploadTask::createFolder(SyncManager& syncManager, const Times& times) {
  const TransTaskItem record = item();
  const RetCreateFile ret =
      HTTPEngine::setFileCreateFolder(UserData::shareUserData().userToken(), record.strWebpath,
                                      record.nMountid, times.create, times.last, 0);
  if (ret.nStatusCode() == 200) {
    // A server move of a folder above, followed while the request was out,
    // re-points the task at the new path; but the server made the folder at
    // the old one (making that path again to hold it), so the row at the
    // new path is not in sync yet: the folder is sent again there, and the
    // one at the old path arrives through the change feed like any other.
    // Checked and finished under controllock, so no move slips in between.
    std::unique_lock hold(syncManager, std::defer_lock);
    if (!syncManager.holdsControllock()) hold.lock();
    const TransTaskItem now = item();
    if (now.strWebpath != record.strWebpath) {
      postpone();
      return 3;
    }
    syncManager.syncdb().update_uuidhash(record.strWebpath, ret.strHash);
    environment_.handOver.UploadFinishOutFile(syncManager, now);
    return 3;
  }
  if (ret.nErrorCode() == kTokenUnknown || ret.nErrorCode() == kTokenExpired) {
    postpone();
    UserData::shareUserData().regettoken();
  } else if (ret.nErrorCode() == kRefused) {
    drop(syncManager);
  } else {
    postpone();
  }
  return 3;
}

int UploadTask::createByHash(SyncManager& syncManager, const Times& times) {
  const TransTaskItem record = item();
  const RetCreateFile ret = HTTPEngine::setFileCreateFile(
      UserData::shareUserData().userToken(), record.strWebpath, record.nMountid,
      record.strFilehash, record.ullFilesize,
      syncManager.syncdb().getVersionTimeByWebpath(record.strWebpath), times.create, times.last,
      0);
  if (ret.nStatusCode() != 200) {
    postpone();
    if (ret.nErrorCode() == kTokenUnknown || ret.nErrorCode() == kTokenExpired) {
      UserData::shareUserData().regettoken();
    } else if (ret.nErrorCode() == kRefused) {
      drop(syncManager);
    } else if (ret.nErrorCode() == kSpaceFull) {
      syncManager.bSpaceMax = true;
      syncManager.ftSpaceMaxTime = absoluteTime();
      Util::getAppDelegate()->setGrowlNotificationDescripation(ret.strErrorMsg(), std::nullopt);
    }
    return 3;
  }
  if (ret.nState == RetCreateFile::kStateComplete && !ret.strHash.empty()) {
    syncManager.syncdb().update_uuidhash(record.strWebpath, ret.strHash);
    if (ret.ullLastDateline != 0) {
      syncManager.syncdb().update_weblasttime(record.strWebpath, ret.ullLastDateline);
    }
    if (environment_.addSpeed) environment_.addSpeed(record.ullFilesize);
    environment_.handOver.UploadFinishOutFile(syncManager, item());
    return 3;
  }
  return 0;
}

int UploadTask::delayRule(SyncManager& syncManager) {
  const TransTaskItem record = item();
  const SyncFileItem row = syncManager.syncdb().get_single_file(record.strWebpath);
  if (row.nID < 0 || row.strUuidHash.empty()) return 0;
  std::uint64_t time = row.ullWebLastTime;
  if (SyncCenter::shareSyncCenter().delaySyncFile().checkFile(record.strWebpath, time)) return 0;
  // Held no further ahead than the store keeps a record back; a later time
  // would come back at once and be copied and postponed again every pass.
  const std::uint64_t until = std::min(time, platform::nowSeconds() + kLongestHold);
  environment_.transStore().Update_UploadActlast(record.nIndex, kTransWaiting, until);
  return 3;
}

void UploadTask::postpone() {
  environment_.transStore().Update_UploadActlast(item().nIndex, kTransWaiting,
                                                 platform::nowSeconds() + kPostpone);
}

void UploadTask::drop(SyncManager& syncManager) {
  const TransTaskItem record = item();
  syncManager.syncdb().del_dir(record.strWebpath);
  environment_.transStore().Remove_Upload(record.nMountid, record.strWebpath);
  syncManager.reset_sync(parentOf(record.strWebpath), true, false);
}

void UploadTask::flagSpaceMax(SyncManager& syncManager, const std::string& message) {
  if (syncManager.bSpaceMax) return;
  syncManager.bSpaceMax = true;
  syncManager.ftSpaceMaxTime = absoluteTime();
  Util::getAppDelegate()->setGrowlNotificationDescripation(message, std::nullopt);
}

std::shared_ptr<SyncManager> UploadTask::manager() const {
  return environment_.syncManager(item().nMountid);
}

}  // namespace nb
