#include "support/RealTransferEngine.h"

#include <chrono>
#include <thread>

#include "stores/transfer/TransPortDB.h"
#include "support/ManualClock.h"
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

bool RealTransferEngine::drain(ManualClock& clock, int seconds) {
  auto& store = TransPortDB::shareTransPortDB();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    if (store.GetDownloadCountAll() == 0 && store.GetUploadCount() == 0 &&
        network_->GetTransCount() == 0) {
      return true;
    }
    clock.advance(std::chrono::seconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace nb::test
