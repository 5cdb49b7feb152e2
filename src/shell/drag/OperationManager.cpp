#include "shell/drag/OperationManager.h"

#include <memory>
#include <mutex>
#include <optional>

#include "api/models/OpenTransportItem.h"
#include "api/models/TransportItem.h"
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/OperationQueue.h"
#include "shell/copy/ReplaceWindowController.h"
#include "shell/tasks/OpenHistory.h"
#include "stores/cache/SyncCache.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/operations/Network.h"
#include "transfer/jobs/FileSaveAs.h"

namespace nb {

namespace {

std::mutex pasteMutex;
OperationManager::PasteFiles registeredPaste;  // guarded by pasteMutex

// The item's row, when its library has a sync manager and the store knows
// the path: an unknown path has no hash or size to fetch.
std::optional<SyncFileItem> knownRow(const drag_item& item) {
  const auto manager = SyncCenter::shareSyncCenter().GetSyncManager(item.mountid);
  if (!manager) return std::nullopt;
  SyncFileItem row = manager->syncdb().get_single_file(item.webpath);
  if (row.nStatus == SyncStatus::kNotFound) {
    NBLOG_WARN("dragged item {} of library {} is not known: skipped", item.webpath, item.mountid);
    return std::nullopt;
  }
  return row;
}

void notify(const std::string& text) {
  Util::getAppDelegate()->setGrowlNotificationDescripation(text, std::nullopt);
}

}  // namespace

OperationManager& OperationManager::sharedInstance() {
  static OperationManager manager;
  return manager;
}

void OperationManager::setPasteFiles(PasteFiles paste) {
  std::lock_guard lock(pasteMutex);
  registeredPaste = std::move(paste);
}

void OperationManager::dragendinfinder(const std::vector<drag_item>& items,
                                       const std::string& target) {
  std::vector<transfer::SaveItem> saves;
  for (const drag_item& item : items) {
    // The drag itself delivered the cached copies.
    if (item.cached) continue;
    const std::optional<SyncFileItem> row = knownRow(item);
    if (!row) continue;
    transfer::SaveItem save;
    save._dir = row->bDir;
    save._hid = "";
    save._mountid = item.mountid;
    save._webpath = item.webpath;
    saves.push_back(std::move(save));
  }
  PasteFiles paste;
  {
    std::lock_guard lock(pasteMutex);
    paste = registeredPaste;
  }
  if (!paste) paste = &ReplaceWindowController::pastefilesfrom;
  if (!paste(saves, target)) return;
  const auto queue = Util::getAppDelegate()->taskQueue();
  if (!queue) {
    NBLOG_ERROR("no task queue for the drop on {}", target);
    return;
  }
  queue->addOperation(std::make_shared<transfer::FileSaveAs>(std::move(saves)));
}

void OperationManager::dragendinothers(const std::vector<drag_item>& items) {
  bool queued = false;
  for (const drag_item& item : items) {
    if (item.cached) {
      OpenTransportItem open;
      open.nMountid = item.mountid;
      open.strWebpath = item.webpath;
      open.strFullpath = item.fullpath;
      open.ullFilesize = Util::filesize(item.fullpath);
      open.ullLast = Util::filemodifytime(item.fullpath);
      open.ullUploadTime = open.ullLast;
      recordOpenHistory(open);
      continue;
    }
    const std::optional<SyncFileItem> row = knownRow(item);
    if (!row) continue;
    if (row->bDir) {
      notify(Util::localizedStringForKey("目前仅支持拖放文件夹到Finder。"));
      continue;
    }
    if (!isContentHash(row->strFileHash) || item.fullpath.empty()) continue;
    TransportItem record;
    record.nMountid = item.mountid;
    record.strWebpath = item.webpath;
    record.strFilehash = row->strFileHash;
    record.strFullpath = item.fullpath;
    record.ullFilesize = row->ullFileSize;
    record.nStatus = kTransWaiting;
    recordOpenHistory(record, 0);
    TransPortDB::shareTransPortDB().Add_Download(record);
    queued = true;
    if (Util::getAppDelegate()->bPromptMessage()) {
      notify(fillMarks(Util::localizedStringForKey("开始下载[%@]，请等待文件下载完成后再次操作"),
                       {getFilename(item.webpath)}));
    }
  }
  if (queued) {
    if (auto network = Network::shareNetwork()) {
      network->SendCallbackAction(TransDirection::Download, "reget");
    }
  }
}

}  // namespace nb
