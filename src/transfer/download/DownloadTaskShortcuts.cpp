// The ways a download completes without the network: a copy of the content
// that is already on this computer.
#include <filesystem>
#include <mutex>

#include "foundation/util/UtilFiles.h"
#include "platform/Clock.h"
#include "stores/cache/SyncCache.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "transfer/download/DownloadTask.h"
#include "transfer/records/TransferRecords.h"

namespace nb {

namespace {

std::string parentOf(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

// The library's control lock while a copy lands in it; nothing without a
// manager.
std::unique_lock<SyncManager> controlLock(const std::shared_ptr<SyncManager>& manager) {
  return manager ? std::unique_lock<SyncManager>(*manager) : std::unique_lock<SyncManager>();
}

}  // namespace

struct DownloadTask::Row {
  std::int64_t nStatus = 0;
  std::string strFileHash;
  std::uint64_t ullCreatorTime = 0;
  std::uint64_t ullWebLastTime = 0;
  // A blank row (no manager) always disagrees, a missing one never does.
  bool disagrees(const std::string& filehash) const {
    return nStatus != SyncStatus::kNotFound && strFileHash != filehash;
  }
};

std::string DownloadTask::okPath(const std::string& filehash) const {
  return services_.transCache() + "/down_" + filehash + "_ok";
}

DownloadTask::Row DownloadTask::syncRow(const std::shared_ptr<SyncManager>& manager,
                                        const TransTaskItem& current) const {
  Row row;
  if (!manager) return row;
  const SyncFileItem found = manager->syncdb().get_single_file(current.strWebpath);
  row.nStatus = found.nStatus;
  row.strFileHash = found.strFileHash;
  row.ullCreatorTime = found.ullCreatorTime;
  row.ullWebLastTime = found.ullWebLastTime;
  return row;
}

int DownloadTask::initDownload() {
  const TransTaskItem current = item();
  const auto manager = services_.syncManager ? services_.syncManager(current.nMountid) : nullptr;
  const Row row = syncRow(manager, current);
  setNStatus(kTransRunning);
  const bool named = isContentHash(current.strFilehash);
  if (named && Util::existfile(okPath(current.strFilehash))) {
    return okFileShortcut(manager, current, row);
  }
  if (named) {
    const std::string temp = services_.transCache() + "/down_" + current.strFilehash;
    updateItem([&temp](TransTaskItem& item) { item.strTemppath = temp; });
  }
  if (current.bDir) return folderShortcut(manager, current);
  if (current.ullFilesize == 0) return emptyFileShortcut(manager, current, row);
  // Only a well-formed content hash may name the temporary file.
  if (!named) {
    error(TransError::kOpenFile, TransErrorText::kDownloadOpenFile);
    return kDealtWith;
  }
  bool used = false;
  int result = kFetch;
  if (!row.disagrees(current.strFilehash)) result = uploadRecordShortcut(manager, current, used);
  if (!used) result = cacheShortcut(manager, current, row, used);
  if (!used) result = localFileShortcut(manager, current, row, used);
  return result;
}

int DownloadTask::folderShortcut(const std::shared_ptr<SyncManager>& manager,
                                 const TransTaskItem& current) {
  auto lock = controlLock(manager);
  const std::string& save = current.strSavepath;
  Util::createfolder(save);
  if (!save.empty() && !Util::isdir(save)) return postpone();
  return handOver(manager, current);
}

int DownloadTask::emptyFileShortcut(const std::shared_ptr<SyncManager>& manager,
                                    const TransTaskItem& current, const Row& row) {
  const std::string& save = current.strSavepath;
  if (save.empty()) return handOver(manager, current);
  auto lock = controlLock(manager);
  Util::createfolder(parentOf(save));
  // A folder in the way holds the user's files: it is never deleted for an
  // empty file.
  if (Util::isdir(save)) return postpone();
  if (Util::existfile(save)) Util::deletefile(save);
  Util::createfile(save);
  if (!Util::isfile(save)) return postpone();
  return completeCopy(manager, current, row, false);
}

int DownloadTask::uploadRecordShortcut(const std::shared_ptr<SyncManager>& manager,
                                       const TransTaskItem& current, bool& used) {
  const TransportItem upload = services_.store->Get_Upload(current.nMountid, current.strWebpath);
  if (upload.nIndex == 0 || current.strSavepath.empty()) return kFetch;
  std::string candidate = upload.strFullpath;
  if (upload.nStatus == kTransFinished &&
      Util::getfilehash(candidate).value_or("") != current.strFilehash) {
    candidate.clear();
  }
  if (candidate.empty() || !Util::isfile(candidate) ||
      Util::filesize(candidate) != upload.ullFilesize) {
    return kFetch;
  }
  used = true;
  auto lock = controlLock(manager);
  Util::createfolder(parentOf(current.strSavepath));
  if (candidate != current.strSavepath &&
      !Util::copyfileneedtemp(candidate, current.strSavepath)) {
    return postpone();
  }
  if (!manager) {
    services_.store->Update_DownloadFinish(current.nIndex);
    return kDealtWith;
  }
  if (services_.addSpeedTrans) services_.addSpeedTrans(upload.ullFilesize);
  return handOver(manager, current);
}

int DownloadTask::cacheShortcut(const std::shared_ptr<SyncManager>& manager,
                                const TransTaskItem& current, const Row& row, bool& used) {
  if (!services_.cache) return kFetch;
  const std::string entry = services_.cache->getFullPathByFileHash(current.strFilehash);
  if (entry.empty()) return kFetch;
  const std::uint64_t size = Util::filesize(entry);
  if (size != current.ullFilesize && size != current.ullFilesize + 32) return kFetch;
  used = true;
  // A prefetch into the cache has nothing more to do.
  if (current.strSavepath.empty()) return completeCopy(manager, current, row, true);
  auto lock = controlLock(manager);
  Util::createfolder(parentOf(current.strSavepath));
  if (!services_.cache->copyDecrypt(entry, current.strSavepath)) return postpone();
  return completeCopy(manager, current, row, true);
}

int DownloadTask::localFileShortcut(const std::shared_ptr<SyncManager>& manager,
                                    const TransTaskItem& current, const Row& row, bool& used) {
  if (!manager || row.disagrees(current.strFilehash) || current.strSavepath.empty()) return kFetch;
  const std::string local = manager->getnormalpath(current.strWebpath);
  if (local.empty() || !Util::existfile(local) || local == current.strSavepath) return kFetch;
  used = true;
  auto lock = controlLock(manager);
  Util::createfolder(parentOf(current.strSavepath));
  if (!Util::copyfileneedtemp(local, current.strSavepath)) return postpone();
  return completeCopy(manager, current, row, true);
}

int DownloadTask::okFileShortcut(const std::shared_ptr<SyncManager>& manager,
                                 const TransTaskItem& current, const Row& row) {
  const std::string ok = okPath(current.strFilehash);
  if (current.strSavepath.empty()) {
    if (services_.cache) services_.cache->addCacheFileByPath(ok, current.strFilehash);
    return completeCopy(manager, current, row, true);
  }
  auto lock = controlLock(manager);
  Util::createfolder(parentOf(current.strSavepath));
  if (!Util::copyfileneedtemp(ok, current.strSavepath)) return postpone();
  return completeCopy(manager, current, row, true);
}

int DownloadTask::completeCopy(const std::shared_ptr<SyncManager>& manager,
                               const TransTaskItem& current, const Row& row, bool countBytes) {
  const std::string& save = current.strSavepath;
  if (current.bSync && !save.empty()) {
    Util::setfilecreatetime(save, row.ullCreatorTime);
    Util::setfilemodifytime(save, row.ullWebLastTime);
  }
  if (!manager) {
    services_.store->Update_DownloadFinish(current.nIndex);
    setNStatus(kTransFinished);
    return kDealtWith;
  }
  if (current.bSync) {
    manager->set_add_filelistinfo(current.strWebpath, current.ullFilesize,
                                  Util::filemodifytime(save));
  }
  if (countBytes && current.ullFilesize > 0 && services_.addSpeedTrans) {
    services_.addSpeedTrans(current.ullFilesize);
  }
  return handOver(manager, current);
}

int DownloadTask::handOver(const std::shared_ptr<SyncManager>& manager,
                           const TransTaskItem& current) {
  if (!manager) {
    services_.store->Update_DownloadFinish(current.nIndex);
    setNStatus(kTransFinished);
    return kDealtWith;
  }
  if (!services_.downloadFinishOutFile || !services_.downloadFinishOutFile(*manager, current)) {
    return postpone();
  }
  setNStatus(kTransFinished);
  return kDealtWith;
}

int DownloadTask::postpone() {
  services_.store->Update_DownloadActlast(nIndex(), kTransWaiting,
                                          platform::nowSeconds() + kPostpone);
  setNStatus(kTransWaiting);
  return kDealtWith;
}

}  // namespace nb
