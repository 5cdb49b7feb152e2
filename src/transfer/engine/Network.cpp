#include "transfer/engine/Network.h"

#include "foundation/app/AppState.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "transfer/download/DownloadServices.h"
#include "transfer/download/DownloadTask.h"
#include "transfer/upload/UploadTask.h"

namespace nb::transfer {

namespace {

// The library's sync manager compares the path afresh, keeping local edits.
bool resetSyncThroughCentre(std::int64_t mountid, const std::string& webpath,
                            std::optional<bool> dir) {
  const auto manager = SyncCenter::shareSyncCenter().GetSyncManager(mountid);
  if (!manager) return false;
  const bool folder = dir ? *dir : manager->syncdb().get_single_file(webpath).bDir;
  manager->reset_sync(webpath, folder, false);
  return true;
}

}  // namespace

void Network::registerSyncHandOvers() {
  registerDownloadHandOver(
      [](SyncManager& manager, const TransTaskItem& item) {
        manager.DownloadFinish(item);
        return true;
      },
      [](SyncManager& manager, const TransTaskItem& item) {
        manager.DownloadFinishOutFile(item);
        return true;
      });
  UploadHandOver handOver;
  handOver.UploadFinish = [](SyncManager& manager, const TransTaskItem& item) {
    manager.UploadFinish(item);
  };
  handOver.UploadFinishOutFile = [](SyncManager& manager, const TransTaskItem& item) {
    manager.UploadFinishOutFile(item);
  };
  handOver.UploadError = [](SyncManager& manager, const TransTaskItem& item, std::int64_t error,
                            const std::string& errormsg) {
    manager.UploadError(item, error, errormsg);
  };
  setUploadHandOver(std::move(handOver));
}

Network& Network::shareNetwork() {
  static Network& network = []() -> Network& {
    // What the loops use is made first, so it is destroyed after the loops
    // were joined at the end of the process.
    TransPortDB::shareTransPortDB();
    platform::Clock::current();
    Util::getAppDelegate();
    platform::logger();
    static Network shared(Options{.resetSync = resetSyncThroughCentre});
    shared.dManager().setTaskFactory(DownloadTask::factory(DownloadServices::standard()));
    shared.uManager().setTaskFactory([](const TransTaskItem& item) {
      UploadEnvironment environment;
      environment.addSpeed = [](std::uint64_t bytes) {
        shareNetwork().uManager().AddSpeedTrans(bytes);
      };
      environment.sendCallback = [](const TransTaskItem& done) {
        shareNetwork().SendCallbackInfoByTransTask(TransDirection::Upload, done);
      };
      return std::make_shared<UploadTask>(item, std::move(environment));
    });
    return shared;
  }();
  return network;
}

void Network::registerAsSyncSeam() {
  // The shared instance lives to the end of the process: the registration
  // holds it without owning it.
  nb::Network::setNetwork(std::shared_ptr<nb::Network>(std::shared_ptr<void>(), &shareNetwork()));
  registerSyncHandOvers();
}

void Network::unregisterSyncSeam() {
  nb::Network::setNetwork(nullptr);
  registerDownloadHandOver({}, {});
  setUploadHandOver({});
}

Network::Network(Options options)
    : store_(options.store ? *options.store : TransPortDB::shareTransPortDB()),
      transActions_(options.transActions ? *options.transActions : TransActionCounter::shared()),
      resetSync_(std::move(options.resetSync)) {
  const DispatchGate gate = std::move(options.gate);
  dManager_ = std::make_unique<DownloadManager>(
      ManagerBase::Context{store_, transActions_, gate, [this] { return nDownloadRealCount(); }},
      [this](std::int64_t unfinished) { setNDownloadRealCount(unfinished); });
  uManager_ = std::make_unique<UploadManager>(
      ManagerBase::Context{store_, transActions_, gate, [this] { return nUploadCount(); }});
  dCallback_ = std::make_unique<CallbackThread>(TransDirection::Download, *this);
  uCallback_ = std::make_unique<CallbackThread>(TransDirection::Upload, *this);
}

Network::~Network() {
  // The progress loops read the managers: they end first.
  dCallback_->stop();
  uCallback_->stop();
  // Both loops end before either manager goes: neither reads the other, but
  // the counters they read live here.
  dManager_->exit();
  uManager_->exit();
  dManager_.reset();
  uManager_.reset();
}

void Network::start() {
  dManager_->start();
  uManager_->start();
  nDownloadCount_ = 0;
  nDownloadRealCount_ = 0;
  nDownloadSpeed_ = 0;
  nUploadCount_ = 0;
  nUploadSpeed_ = 0;
  transActions_.reset();
}

void Network::startProgress() {
  dCallback_->start();
  uCallback_->start();
}

void Network::exit() {
  dManager_->exit();
  uManager_->exit();
}

// --- Start and stop -------------------------------------------------------------------

void Network::StartDownload(const std::vector<std::int64_t>& ids) {
  for (std::int64_t id : ids) store_.Update_DownloadStart(id);
}

void Network::StartUpload(const std::vector<std::int64_t>& ids) {
  for (std::int64_t id : ids) store_.Update_UploadStart(id);
}

void Network::StartDownloadAll() { store_.StartDownloadAll(); }

void Network::StartUploadAll() { store_.StartUploadAll(); }

void Network::StopDownload(const std::vector<std::int64_t>& ids) {
  for (std::int64_t id : ids) {
    store_.Update_DownloadStatus(id, kTransStopped);
    dManager_->Stop(id);
  }
}

void Network::StopUpload(const std::vector<std::int64_t>& ids) {
  for (std::int64_t id : ids) {
    store_.Update_UploadStatus(id, kTransStopped);
    uManager_->Stop(id);
  }
}

void Network::StopDownloadAll() {
  store_.StopDownloadAll();
  dManager_->StopAll();
}

void Network::StopUploadAll() {
  store_.StopUploadAll();
  uManager_->StopAll();
}

// --- Deletes --------------------------------------------------------------------------

void Network::DeleteDownload(const std::vector<std::int64_t>& ids) {
  for (std::int64_t id : ids) {
    dManager_->Delete(id);
    store_.Delete_Download(id);
  }
  if (!ids.empty()) sendUpdateFileList();
}

void Network::DeleteDownloadAll() {
  store_.DeleteDownloadAll();
  dManager_->DeleteAll();
  sendUpdateFileList();
}

void Network::DeleteUpload(const std::vector<std::int64_t>& ids) {
  for (std::int64_t id : ids) {
    uManager_->Delete(id);
    const TransportItem record = store_.Get_Upload(id);
    if (record.nIndex == 0) continue;
    resetSync(record.nMountid, record.strWebpath, record.bDir);
    store_.Delete_Upload(id);
  }
}

void Network::DeleteUploadAll() {
  for (const DeleteUploadAllItem& folder : store_.Get_DeleteParentUpload()) {
    resetSync(folder.nMountid, folder.strWebpath, std::nullopt);
  }
  store_.DeleteUploadAll();
  uManager_->DeleteAll();
}

void Network::resetSync(std::int64_t mountid, const std::string& webpath,
                        std::optional<bool> dir) {
  if (!resetSync_) {
    NBLOG_ERROR("no sync engine registered: {} of library {} is not compared afresh", webpath,
                mountid);
    return;
  }
  resetSync_(mountid, webpath, dir);
}

void Network::sendUpdateFileList() {
  if (auto event = PageEvent::make("UpdateFileList", JsonValue::object({}))) {
    Util::getAppDelegate()->setAllCustomEvent(*event);
  }
}

// --- Sync engine and queries ---------------------------------------------------------------

void Network::ClearTrans(const std::string& webpath, std::int64_t mountid,
                         TransDirection which) {
  if (which != TransDirection::Download) uManager_->ClearTrans(webpath, mountid);
  if (which != TransDirection::Upload) dManager_->ClearTrans(webpath, mountid);
}

CallbackThread& Network::progressOf(TransDirection which) {
  return which == TransDirection::Upload ? *uCallback_ : *dCallback_;
}

void Network::SendCallbackAction(TransDirection which, const std::string& action) {
  if (which == TransDirection::Both) {
    dCallback_->SendCallbackAction(action);
    uCallback_->SendCallbackAction(action);
    return;
  }
  progressOf(which).SendCallbackAction(action);
}

void Network::SendCallbackInfoByTransTask(TransDirection which, const TransTaskItem& task) {
  progressOf(which).SendCallbackInfoByTransTask(task);
}

void Network::SendCallbackInfoByTransport(TransDirection which, const TransportItem& item) {
  progressOf(which).SendCallbackInfoByTransport(item);
}

void Network::RenameWebpath(std::int64_t mountid, const std::string& oldwebpath,
                            const std::string& newwebpath) {
  uManager_->RenameWebpath(mountid, oldwebpath, newwebpath);
  dManager_->RenameWebpath(mountid, oldwebpath, newwebpath);
}

TransTaskItem Network::GetTransInfo(const std::string& webpath, std::int64_t mountid) {
  TransTaskItem upload = uManager_->GetTransInfo(webpath, mountid);
  if (upload.nIndex != 0) return upload;
  return dManager_->GetTransInfo(webpath, mountid);
}

std::int64_t Network::GetTransCount() {
  return uManager_->GetTransCount() + dManager_->GetTransCount();
}

void Network::refreshCounts() {
  nDownloadCount_ = store_.GetDownloadCount();
  nDownloadRealCount_ = store_.GetDownloadCountAll();
  nUploadCount_ = store_.GetUploadCount();
}

void Network::refreshFigures(TransDirection which) {
  if (which != TransDirection::Upload) {
    nDownloadSpeed_ = dManager_->GetSpeed();
    nDownloadCount_ = store_.GetDownloadCount();
    nDownloadRealCount_ = store_.GetDownloadCountAll();
  }
  if (which != TransDirection::Download) {
    nUploadSpeed_ = uManager_->GetSpeed();
    nUploadCount_ = store_.GetUploadCount();
  }
}

}  // namespace nb::transfer
