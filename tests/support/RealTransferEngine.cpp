#include "support/RealTransferEngine.h"

#include <chrono>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "sync/centre/SyncCenter.h"

#include "stores/transfer/TransPortDB.h"
#include "support/ManualClock.h"
#include "support/PumpMainThread.h"
#include "transfer/download/DownloadServices.h"
#include "transfer/download/DownloadTask.h"
#include "transfer/upload/UploadTask.h"

namespace nb::test {

RealTransferEngine::RealTransferEngine(std::shared_ptr<nb::Network> restore)
    : restore_(std::move(restore)),
      network_(std::make_unique<transfer::Network>(transfer::Network::Options{})) {
  transfer::Network* engine = network_.get();
  DownloadServices services = DownloadServices::standard();
  services.addSpeedTrans = [engine](std::uint64_t bytes) {
    engine->dManager().AddSpeedTrans(bytes);
  };
  services.report = [engine](const TransTaskItem& item) {
    engine->SendCallbackInfoByTransTask(TransDirection::Download, item);
  };
  engine->dManager().setTaskFactory(DownloadTask::factory(std::move(services)));
  engine->uManager().setTaskFactory([engine](const TransTaskItem& item) {
    UploadEnvironment environment;
    environment.addSpeed = [engine](std::uint64_t bytes) { engine->uManager().AddSpeedTrans(bytes); };
    environment.sendCallback = [engine](const TransTaskItem& done) {
      engine->SendCallbackInfoByTransTask(TransDirection::Upload, done);
    };
    return std::make_shared<UploadTask>(item, std::move(environment));
  });
  nb::Network::setNetwork(std::shared_ptr<nb::Network>(std::shared_ptr<void>(), engine));
  transfer::Network::registerSyncHandOvers();
  engine->start();
}

RealTransferEngine::~RealTransferEngine() {
  network_->exit();
  network_.reset();
  transfer::Network::unregisterSyncSeam();
  nb::Network::setNetwork(restore_);
}

namespace {

// The unfinished records, to tell a stuck one from a slow one.
std::string queuedRecords(TransPortDB& store) {
  std::ostringstream out;
  const auto list = [&](const char* kind, const std::vector<TransportItem>& records) {
    for (const auto& record : records) {
      if (record.nStatus == kTransFinished) continue;
      out << "\n  " << kind << " " << record.strWebpath << " -> " << record.strFullpath
          << ": status " << record.nStatus << ", kind " << record.nExpand << ", not before "
          << record.ullActlast << ", error '" << record.strError << "'";
    }
  };
  list("download", store.Get_AllDownload(0, 100));
  list("upload", store.Get_AllUpload(0, 100));
  return out.str();
}

}  // namespace

bool RealTransferEngine::drain(ManualClock& clock, int seconds) {
  if (tryDrain(clock, seconds)) return true;
  auto& store = TransPortDB::shareTransPortDB();
  ADD_FAILURE() << "still queued: " << store.GetDownloadCountAll() << " downloads, "
                << store.GetUploadCount() << " uploads; running " << network_->GetTransCount()
                << "; gate signed in " << Util::getAppDelegate()->bLoginFinish() << ", network "
                << Util::getAppDelegate()->bLinkNetwork() << ", transfers "
                << UserData::shareUserData().bTransStart() << ", libraries "
                << SyncCenter::shareSyncCenter().bInit() << ", bulk adds "
                << network_->nTransAction() << queuedRecords(store);
  return false;
}

bool RealTransferEngine::tryDrain(ManualClock& clock, int seconds) {
  auto& store = TransPortDB::shareTransPortDB();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    if (store.GetDownloadCountAll() == 0 && store.GetUploadCount() == 0 &&
        network_->GetTransCount() == 0) {
      return true;
    }
    // What the progress threads do once a second: the loops only look for
    // work while the counts say there is some.
    network_->refreshCounts();
    clock.advance(std::chrono::seconds(1));
    // The download sources call back on the main thread.
    pumpMainThreadUntil([] { return false; }, std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace nb::test
