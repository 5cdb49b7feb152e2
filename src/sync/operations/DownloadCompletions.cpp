// What a finished or failed download means for the library: the content is
// placed for every record waiting for it, the rows committed and the pages
// told.
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilSession.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/operations/Network.h"
#include "sync/operations/TransferNotices.h"

namespace nb {
namespace {

constexpr int64_t kDownloadToOpen = 1;

// The state a record would have had as a task of its own, completed with
// the content the task fetched.
TransTaskItem stateOf(const TransportItem& record, const TransTaskItem& task) {
  TransTaskItem state;
  state.nIndex = record.nIndex;
  state.nMountid = record.nMountid;
  state.nExpand = record.nExpand;
  state.strFilehash = record.strFilehash;
  state.strWebpath = record.strWebpath;
  state.ullFilesize = record.ullFilesize;
  state.bDir = record.bDir;
  state.bSync = record.bSync;
  state.nStatus = task.nStatus;
  state.strTemppath = task.strTemppath;
  state.strSavepath = record.strFullpath;
  state.ullOffset = record.ullFilesize;
  return state;
}

// A non-sync target gets a copy of the content; false when it could not.
bool copyToTarget(const std::string& temp, const std::string& target) {
  Util::createfolder(getParent(target));
  if (Util::existfile(target)) Util::setfilelock(target, false);
  return Util::copyfileneedtemp(temp, target);
}

}  // namespace

void SyncManager::DownloadFinish(const TransTaskItem& task) {
  const auto network = Network::shareNetwork();
  network->SendCallbackInfoByTransTask(TransDirection::Download, task);
  auto& store = TransPortDB::shareTransPortDB();
  bool allDone = true;
  for (const TransportItem& record : store.Get_DownloadsByHash(task.strFilehash)) {
    const TransTaskItem state = stateOf(record, task);
    if (record.bSync) {
      const auto owner = SyncCenter::shareSyncCenter().GetSyncManager(record.nMountid);
      if (!owner) continue;
      store.Update_DownloadFinish(record.nIndex);
      if (!owner->finishdownload(state, task.strTemppath)) allDone = false;
      network->SendCallbackInfoByTransport(TransDirection::Download, record);
      SyncFileItem row = syncdb_->get_single_file(task.strWebpath);
      if (row.nStatus != SyncStatus::kNotFound) {
        SendUpdateFileInfo(row, false);
        applyReadOnlyRule(row, task.strSavepath, true);
      }
    } else if (record.strFullpath.empty() || copyToTarget(task.strTemppath, record.strFullpath)) {
      DownloadFinishOutFile(state);
    }
  }
  SyncCache::shareSyncCache().addCacheFileByPath(task.strTemppath, task.strFilehash);
  if (!allDone) {
    // Kept whole: a later download of the same content takes it as it is.
    Util::movefile(task.strTemppath, task.strTemppath + "_ok");
  } else {
    UserData::shareUserData().ClearTransCachePath(task.strTemppath);
  }
}

void SyncManager::DownloadFinishOutFile(const TransTaskItem& task) {
  TransTaskItem done = task;
  done.nStatus = kTransFinished;
  done.ullOffset = done.ullFilesize;
  Network::shareNetwork()->SendCallbackInfoByTransTask(TransDirection::Download, done);
  TransPortDB::shareTransPortDB().Update_DownloadFinish(task.nIndex);
  const auto owner = SyncCenter::shareSyncCenter().GetSyncManager(task.nMountid);
  if (!task.bSync) {
    if (task.nExpand == kDownloadToOpen) {
      const std::string& path = task.strSavepath;
      Util::setfilemodifytime(path, platform::nowSeconds());
      const uint64_t size = Util::filesize(path);
      const uint64_t mtime = Util::filemodifytime(path);
      NBLOG_INFO("{},{},{}", task.strWebpath, size, mtime);
      TransPortDB::shareTransPortDB().UpdateOpenHistory(path, size, mtime, mtime);
    }
    if (task.nExpand != kDownloadHidden) {
      std::string webpath = task.strWebpath;
      if (TransPortDB::shareTransPortDB().checkInTaskDirFinish(task.nMountid, webpath,
                                                               task.strSavepath)) {
        transferNotice("［%@］已下载完成", webpath);
      }
    }
    if (owner) owner->SendUpdateFileInfoByWebpath(task.strWebpath);
    return;
  }
  if (!owner) return;
  const uint64_t mtime = Util::filemodifytime(task.strSavepath);
  owner->syncdb().update_finish(task.strWebpath, mtime, owner->ullCompareTime);
  SyncFileItem row = owner->syncdb().get_single_file(task.strWebpath);
  if (row.nStatus == SyncStatus::kNotFound) return;
  owner->SendUpdateFileInfo(row, false);
  owner->applyReadOnlyRule(row, task.strSavepath, false);
}

void SyncManager::applyReadOnlyRule(const SyncFileItem& row, const std::string& local,
                                    bool lockOnly) {
  if (row.bDir || local.empty() || !Util::isfile(local)) return;
  const bool lockedByOther = row.nLock == 1 && row.nLockID != UserData::shareUserData().userID();
  const bool noWrite = !lockOnly &&
                       linkfolder_.linkTypeByWebPath(row.strWebPath) == LinkType::kSync &&
                       !getFilePropertyForWrite(row.strWebPath);
  if (lockedByOther || noWrite) Util::setfilereadonly(local);
}

void SyncManager::DownloadError(const TransTaskItem& task, int64_t error,
                                const std::string& errormsg) {
  auto& store = TransPortDB::shareTransPortDB();
  TransTaskItem state = task;
  if (!Util::islink()) {
    store.Update_DownloadNormal(task.nIndex, task.ullOffset);
    state.nStatus = kTransWaiting;
    Network::shareNetwork()->SendCallbackInfoByTransTask(TransDirection::Download, state);
    return;
  }
  Network::shareNetwork()->SendCallbackInfoByTransTask(TransDirection::Download, state);
  store.Update_DownloadError(task.nIndex, error, errormsg);
}

}  // namespace nb
