#include "transfer/upload/UploadEnvironment.h"

#include <mutex>

#include "platform/Log.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "transfer/engine/Network.h"

namespace nb {
namespace {

std::mutex& handOverMutex() {
  static std::mutex mutex;
  return mutex;
}

UploadHandOver& registeredHandOver() {
  static UploadHandOver handOver;  // guarded by handOverMutex()
  return handOver;
}

// The stand-ins of an unregistered sync engine: the upload's outcome is
// logged as lost, so a missing registration shows.
UploadHandOver loggingHandOver() {
  UploadHandOver handOver;
  handOver.UploadFinish = [](SyncManager&, const TransTaskItem& item) {
    NBLOG_ERROR("no sync engine takes finished uploads: {} left as it was", item.strWebpath);
  };
  handOver.UploadFinishOutFile = [](SyncManager&, const TransTaskItem& item) {
    NBLOG_ERROR("no sync engine takes created entries: {} left as it was", item.strWebpath);
  };
  handOver.UploadError = [](SyncManager&, const TransTaskItem& item, std::int64_t error,
                            const std::string&) {
    NBLOG_ERROR("no sync engine takes failed uploads: {} ({}) left as it was", item.strWebpath,
                error);
  };
  return handOver;
}

void fillFrom(UploadHandOver& target, const UploadHandOver& source) {
  if (!target.UploadFinish) target.UploadFinish = source.UploadFinish;
  if (!target.UploadFinishOutFile) target.UploadFinishOutFile = source.UploadFinishOutFile;
  if (!target.UploadError) target.UploadError = source.UploadError;
}

}  // namespace

void setUploadHandOver(UploadHandOver handOver) {
  std::lock_guard lock(handOverMutex());
  registeredHandOver() = std::move(handOver);
}

UploadHandOver uploadHandOver() {
  UploadHandOver handOver;
  {
    std::lock_guard lock(handOverMutex());
    handOver = registeredHandOver();
  }
  fillFrom(handOver, loggingHandOver());
  return handOver;
}

UploadEnvironment UploadEnvironment::resolved() const {
  UploadEnvironment full = *this;
  if (!full.store) full.store = &TransPortDB::shareTransPortDB();
  if (!full.addSpeed) {
    full.addSpeed = [](std::uint64_t bytes) {
      transfer::Network::shareNetwork().uManager().AddSpeedTrans(bytes);
    };
  }
  if (!full.sendCallback) {
    full.sendCallback = [](const TransTaskItem& item) {
      transfer::Network::shareNetwork().SendCallbackInfoByTransTask(TransDirection::Upload, item);
    };
  }
  if (!full.syncManager) {
    full.syncManager = [](std::int64_t mountid) {
      return SyncCenter::shareSyncCenter().GetSyncManager(mountid);
    };
  }
  fillFrom(full.handOver, uploadHandOver());
  return full;
}

TransPortDB& UploadEnvironment::transStore() const {
  return store ? *store : TransPortDB::shareTransPortDB();
}

}  // namespace nb
