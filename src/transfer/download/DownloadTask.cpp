#include "transfer/download/DownloadTask.h"

#include <chrono>
#include <exception>

#include "platform/Clock.h"
#include "platform/Log.h"
#include "stores/transfer/TransPortDB.h"
#include "transfer/records/TransferRecords.h"

namespace nb {

namespace {

constexpr std::uint64_t kLanQueryEvery = 10;  // seconds
constexpr std::chrono::milliseconds kPassPause{100};

}  // namespace

std::shared_ptr<DownloadTask> DownloadTask::make(TransTaskItem item, DownloadServices services) {
  return std::shared_ptr<DownloadTask>(new DownloadTask(std::move(item), std::move(services)));
}

TransferTaskFactory DownloadTask::factory(DownloadServices services) {
  return [services = std::move(services)](const TransTaskItem& item) -> std::shared_ptr<TransferTask> {
    return make(item, services);
  };
}

DownloadTask::DownloadTask(TransTaskItem item, DownloadServices services)
    : DownloadTransferTask(std::move(item)), services_(std::move(services)) {}

DownloadTask::~DownloadTask() = default;

void DownloadTask::run() {
  try {
    if (initDownload() != kDealtWith) {
      if (!CreateFile()) {
        error(TransError::kOpenFile, TransErrorText::kDownloadOpenFile);
      } else {
        while (fetchUrls() && fetchLoop() == Fetch::kRenewUrls) {
        }
      }
    }
  } catch (const std::exception& failure) {
    NBLOG_ERROR("download of {} failed: {}", item().strWebpath, failure.what());
    error(TransError::kTaskFailed, TransErrorText::kTaskFailed);
  } catch (...) {
    endTask();
    throw;
  }
  endTask();
}

bool DownloadTask::fetchUrls() {
  ClearPeer();
  queueLanQuery();
  const TransTaskItem current = item();
  RetGetDownload ret;
  if (services_.getUrls) {
    ret = services_.getUrls(current.nMountid, current.strFilehash, current.strWebpath,
                            current.nStat);
  } else {
    NBLOG_ERROR("download addresses cannot be asked for: no service registered");
  }
  if (ret.nStatusCode() != 200) {
    std::int64_t code = ret.nErrorCode();
    std::string text = ret.strErrorMsg();
    if (code == 0) {
      code = TransError::kServerTimeout;
      text = TransErrorText::kServerTimeout;
    }
    error(code, text);
    return false;
  }
  for (const std::string& url : ret.urls) AddHttpPeer(url);
  services_.store->Update_DownloadStat(current.nIndex, 0);
  lastLanQuery_ = monotonicSeconds();
  setUllStarttime(monotonicSeconds());
  return true;
}

DownloadTask::Fetch DownloadTask::fetchLoop() {
  const std::uint64_t writtenBefore = bytesWritten_.load();
  while (!bStop()) {
    if (CheckFinish()) {
      finish();
      return Fetch::kEnded;
    }
    while (!bStop() && GetRunPeer()) {
      if (!sleepTenth()) break;
    }
    if (bResetUrl_.load()) {
      bResetUrl_.store(false);
      // Addresses that expire again and again without a byte arriving would
      // ask the service for new ones several times a second for ever.
      renewalsWithoutData_ =
          bytesWritten_.load() == writtenBefore ? renewalsWithoutData_ + 1 : 0;
      if (renewalsWithoutData_ >= kMaxUrlRenewals) {
        error(TransError::kNoSource, TransErrorText::kNoSourceTimeout);
        return Fetch::kEnded;
      }
      return Fetch::kRenewUrls;
    }
    if (bBadPeer_.load()) {
      error(TransError::kNoSource, transErrorText(TransError::kNoSource, false, checkUrlsIsCache()));
      return Fetch::kEnded;
    }
    if (monotonicSeconds() > lastLanQuery_ + kLanQueryEvery) {
      queueLanQuery();
      lastLanQuery_ = monotonicSeconds();
    }
    // The wake of the source that brought the last bytes was spent above:
    // a complete file is finished now, not after another pass.
    if (!CheckFinish()) sleepTenth();
  }
  return Fetch::kEnded;
}

bool DownloadTask::sleepTenth() { return pass_.sleepFor(kPassPause); }

void DownloadTask::queueLanQuery() {
  if (services_.queryLan) services_.queryLan(item().strFilehash);
}

void DownloadTask::endTask() {
  ClearPeer();
  const TransTaskItem current = item();
  if (current.nStatus == kTransStopped && !bDelete()) {
    CloseFile();
    if (bNormal()) {
      services_.store->Update_DownloadNormal(current.nIndex, current.ullOffset);
      setNStatus(kTransWaiting);
    } else {
      services_.store->Update_DownloadStop(current.nIndex, current.ullOffset);
    }
    report();
  }
  CloseFile();
}

void DownloadTask::report() {
  if (services_.report) services_.report(item());
}

}  // namespace nb
