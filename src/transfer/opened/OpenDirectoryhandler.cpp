#include "transfer/opened/OpenDirectoryhandler.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "api/models/OpenTransportItem.h"
#include "api/models/TransportItem.h"
#include "api/session/UserData.h"
#include "foundation/util/UtilFiles.h"
#include "platform/FolderWatcher.h"
#include "platform/Log.h"
#include "stores/syncdb/SyncFileItem.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/syncdb/Syncdb.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/operations/Network.h"

namespace nb::transfer {
namespace {

bool hasChange(const platform::HandlerItem& item) {
  return item.bCreate || item.bRemove || item.bRename || item.bModify;
}

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The open-history row of the file, when the file changed since the row
// was written.
struct Save {
  OpenTransportItem open;
  std::uint64_t size = 0;
  std::uint64_t last = 0;
};

std::optional<Save> savedOpenFile(const std::string& path) {
  if (!Util::existfile(path)) return std::nullopt;
  Save save;
  save.open = TransPortDB::shareTransPortDB().CheckOpenHistory(path);
  if (save.open.nMountid <= 0) return std::nullopt;
  save.size = Util::filesize(path);
  save.last = Util::filemodifytime(path);
  if (save.size == save.open.ullFilesize && save.last == save.open.ullLast) return std::nullopt;
  return save;
}

// A plain upload record of the saved file (its library's store has no row).
bool queuePlainUpload(const Save& save) {
  TransportItem item;
  item.nMountid = save.open.nMountid;
  item.strWebpath = save.open.strWebpath;
  item.strFullpath = save.open.strFullpath;
  item.nStatus = kTransWaiting;
  item.bDir = false;
  item.ullFilesize = save.size;
  item.ullLast = save.last;
  item.bSync = false;
  return TransPortDB::shareTransPortDB().Add_Upload(item, save.open.strWebpath);
}

}  // namespace

OpenDirectoryhandler::OpenDirectoryhandler(std::string path)
    : OpenDirectoryhandler(std::move(path), Options{}) {}

OpenDirectoryhandler::OpenDirectoryhandler(std::string path, Options options)
    : nb::OpenDirectoryhandler(std::move(path)), options_(options) {}

OpenDirectoryhandler::~OpenDirectoryhandler() { stopMonitoring(); }

void OpenDirectoryhandler::startMonitoring() {
  if (!Util::createfolder(path())) {
    NBLOG_ERROR("cannot make the folder of opened files {}: saves there go unnoticed", path());
    return;
  }
  platform::FolderWatcher::Options watcherOptions;
  watcherOptions.latency = options_.latency;
  watcherOptions.attributeChanges = true;  // a save may change nothing but the time
  auto watcher = std::make_unique<platform::FolderWatcher>(
      path(), [this](std::vector<platform::HandlerItem> items) { handleBatch(items); },
      [this] { rescan(); }, watcherOptions);
  std::lock_guard lock(watcherMutex_);
  if (watcher_) watcher_->stop();
  watcher_ = std::move(watcher);
  watcher_->start();
}

void OpenDirectoryhandler::stopMonitoring() {
  std::unique_ptr<platform::FolderWatcher> watcher;
  {
    std::lock_guard lock(watcherMutex_);
    watcher = std::move(watcher_);
  }
  if (watcher) watcher->stop();
}

bool OpenDirectoryhandler::waitUntilWatching(std::chrono::milliseconds limit) {
  std::lock_guard lock(watcherMutex_);
  return watcher_ && watcher_->waitUntilWatching(limit);
}

void OpenDirectoryhandler::simulateOverflow() {
  std::lock_guard lock(watcherMutex_);
  if (watcher_) watcher_->simulateOverflow();
}

void OpenDirectoryhandler::handleBatch(const std::vector<platform::HandlerItem>& items) {
  for (const platform::HandlerItem& item : items) {
    if (endsWith(item.path, ".DS_Store") || !hasChange(item)) continue;
    try {
      handleItem(item);
    } catch (const std::exception& error) {
      NBLOG_ERROR("saved file {} not queued: {}", item.path, error.what());
    }
  }
}

void OpenDirectoryhandler::handleItem(const platform::HandlerItem& item) {
  const std::optional<Save> save = savedOpenFile(item.path);
  if (!save) return;
  const OpenTransportItem& open = save->open;
  const std::shared_ptr<SyncManager> manager =
      SyncCenter::shareSyncCenter().GetSyncManager(open.nMountid);
  if (!manager) return;

  const UserData& user = UserData::shareUserData();
  manager->syncdb().update_filesizeandlastandweblast(open.strWebpath, save->size, save->last,
                                                     user.userID(), user.userWebName());
  SyncFileItem row = manager->syncdb().get_single_file(open.strWebpath);
  const std::shared_ptr<nb::Network> network = nb::Network::shareNetwork();
  network->ClearTrans(open.strWebpath, open.nMountid, TransDirection::Upload);
  bool added = false;
  if (row.nStatus == SyncStatus::kNotFound) {
    added = queuePlainUpload(*save);
  } else {
    added = manager->Add_Upload(row, open.strFullpath, false, row.strWebPath, true);
    manager->SendUpdateFileInfo(row, false);
  }
  if (added) {
    NBLOG_DEBUG("{},{},{},{}", open.strWebpath, save->size, save->last, open.ullUploadTime);
    TransPortDB::shareTransPortDB().UpdateOpenHistory(open.strFullpath, save->size, save->last,
                                                      open.ullUploadTime);
  }
  network->SendCallbackAction(TransDirection::Upload, "reget");
}

void OpenDirectoryhandler::rescan() {
  NBLOG_WARN("events under {} may have been lost: every opened file is looked at", path());
  std::vector<platform::HandlerItem> items;
  std::error_code ec;
  for (std::filesystem::recursive_directory_iterator it(path(), ec), end; !ec && it != end;
       it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    platform::HandlerItem item;
    item.path = it->path().string();
    item.bModify = true;
    items.push_back(std::move(item));
  }
  handleBatch(items);
}

void registerOpenDirectoryhandler() {
  // The stores a batch uses are made now, before the session that owns the
  // watchers, so that at exit they are destroyed after it: a save during
  // exit never meets a destroyed store.
  TransPortDB::shareTransPortDB();
  SyncCenter::shareSyncCenter();
  setOpenDirectoryhandlerFactory([](const std::string& path) {
    return std::make_unique<OpenDirectoryhandler>(path);
  });
}

}  // namespace nb::transfer
