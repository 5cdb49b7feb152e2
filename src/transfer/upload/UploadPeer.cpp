#include "transfer/upload/UploadPeer.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <limits>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "transfer/engine/TransferTask.h"
#include "transfer/records/TransferRecords.h"

namespace nb {
namespace {

constexpr int kAttempts = 3;
constexpr auto kAttemptPause = std::chrono::seconds(1);
constexpr std::int64_t kServerMoved = 40309;

std::string lastComponent(const std::string& webpath) {
  const auto slash = webpath.rfind('/');
  return slash == std::string::npos ? webpath : webpath.substr(slash + 1);
}

bool linkUp() {
  const auto app = Util::getAppDelegate();
  return app && app->bLinkNetwork();
}

}  // namespace

std::uint64_t UploadPeer::pieceLengthFor(std::uint64_t filesize) {
  if (filesize < 10'485'760) return 1'048'576;
  if (filesize < 104'857'600) return 4'194'304;
  if (filesize < 1'073'741'824) return 8'388'608;
  return 10'485'760;
}

UploadPeer::UploadPeer(TransferTask& task, UploadEnvironment environment)
    : PeerBase(&task, ""), task_(task), environment_(std::move(environment)) {}

UploadPeer::~UploadPeer() = default;

void UploadPeer::SetUrl(const std::string& url) {
  setStrUrl(url);
  bResetServer_ = false;
}

TransTaskItem UploadPeer::item() const { return task_.item(); }

void UploadPeer::setOffset(std::uint64_t offset) {
  task_.updateItem([offset](TransTaskItem& item) { item.ullOffset = offset; });
}

void UploadPeer::Run() {
  for (;;) {
    madeResetThisPass_ = false;
    if (runOnce() != Pass::kAgainPlain) break;
    // The server refused a delta: the same server takes the content plain,
    // now, rather than after the failed record's re-queue.
    NBLOG_INFO("no delta for {}, sending it whole", item().strWebpath);
    nError_ = 0;
    strError_.clear();
    task_.updateItem([](TransTaskItem& item) { item.nStatus = kTransRunning; });
  }
  endRun();
}

UploadPeer::Pass UploadPeer::runOnce() {
  const TransTaskItem record = item();
  if (GetCacheTempPath().empty()) {
    SetError(TransError::kSessionOpen, "");
    return Pass::kDone;
  }
  if (record.nExpand != UploadKind::kHashOnly && !openContent()) {
    SetError(TransError::kOpenFile, TransErrorText::kUploadOpenFile);
    return Pass::kDone;
  }
  setUllStartTime(platform::nowSeconds());
  SaveServerTarget();
  if (!SendInit()) return Pass::kDone;
  if (record.nExpand == UploadKind::kHashOnly) {
    SetError(TransError::kWrongInfo, TransErrorText::kWrongInfo);
    return Pass::kDone;
  }
  if (!SendReq()) {
    NBLOG_ERROR("1");
    return Pass::kDone;
  }
  const bool delta = nPiecelen_ != 0;
  if (delta && !(item().ullOffset == 0 ? prepareFreshDelta() : prepareResumedDelta())) {
    return madeResetThisPass_ && !bStop() ? Pass::kAgainPlain : Pass::kDone;
  }
  const std::uint64_t size = GetFileSize();
  setUllEnd(size == 0 ? 0 : size - 1);
  NBLOG_INFO("piece:{},{}", item().ullOffset, ullEnd());
  sendPieces();
  return Pass::kDone;
}

bool UploadPeer::prepareFreshDelta() {
  if (!SendDownloadChecksum()) {
    NBLOG_ERROR("2");
    return false;
  }
  if (!CreateDifFileCanReset()) {
    NBLOG_ERROR("3");
    return false;
  }
  if (nPiecelen_ != 0 && !SendUploadChecksum()) {
    NBLOG_ERROR("4");
    return false;
  }
  return true;
}

bool UploadPeer::prepareResumedDelta() {
  if (CheckDifFile()) {
    if (!OpenDifFile()) {
      SendAbort();
      SetError(TransError::kDeltaFile, "");
      return false;
    }
    return true;
  }
  // The delta data is gone: match again; the server has the records.
  if (!SendDownloadChecksum()) {
    NBLOG_ERROR("5");
    return false;
  }
  if (!CreateDiffile()) {
    NBLOG_ERROR("6");
    return false;
  }
  return true;
}

void UploadPeer::sendPieces() {
  if (GetFileSize() != 0) {
    int failures = 0;
    for (;;) {
      const std::uint64_t offset = item().ullOffset;
      if (failures >= kMaxPieceFailures || offset > ullEnd()) break;
      if (bStop() || task_.bStop()) return;  // no upload_finish after a stop
      const std::uint64_t left = ullEnd() + 1 - offset;
      failures = SendPiece(std::min(GetSendSize(), left)) ? 0 : failures + 1;
    }
  }
  if (item().nStatus == kTransRunning && !SendFinish()) NBLOG_ERROR("7");
}

void UploadPeer::endRun() {
  if (task_.bDelete()) {
    SendAbort();
    DeleteServerTarget();
    DeleteResetFile();
    ClearDiffInfo();
    UserData::shareUserData().ClearTransCachePath(item().strTemppath);
  }
  setBStart(false);
}

bool UploadPeer::openContent() {
  const TransTaskItem record = item();
  pFileHandle_.reset();
  const int fd = ::open(record.strTemppath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  pFileHandle_.emplace(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || static_cast<std::uint64_t>(info.st_size) != record.ullFilesize) {
    pFileHandle_.reset();
    return false;
  }
  return true;
}

void UploadPeer::Stop(bool deleting) {
  PeerBase::Stop(deleting);
  stopPause_.request_stop();
}

bool UploadPeer::pauseBetweenAttempts() const {
  platform::sleepFor(kAttemptPause, stopPause_.get_token());
  return !bStop();
}

bool UploadPeer::SendInit() {
  const TransTaskItem record = item();
  RetUploadInit ret;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0 && !pauseBetweenAttempts()) break;
    ret = HTTPEngine::sendInit(strUrl(), UserData::shareUserData().userToken(),
                               lastComponent(record.strWebpath), record.strPathhash,
                               record.strFilehash, record.ullFilesize, record.nMountid,
                               record.strStoragePoint);
    const std::int64_t status = ret.nStatusCode();
    if (status == 200) {
      strSession_ = ret.session;
      if (record.nExpand == UploadKind::kFull) CreateResetFile();
      // A length an index cannot use, or none, means a plain upload.
      const bool usable = ret.piecelen > 0 && ret.piecelen <= std::numeric_limits<std::int32_t>::max();
      nPiecelen_ = CheckResetFile() || !usable ? 0 : ret.piecelen;
      return true;
    }
    if (status == 202) {
      if (environment_.addSpeed) environment_.addSpeed(record.ullFilesize);
      Finish();
      return false;
    }
    if (ret.nErrorCode() == kServerMoved || status >= 500 ||
        (status == RequestRet::kNoResponse && linkUp())) {
      SetError(ret.nErrorCode(), ret.strErrorMsg());
      bResetServer_ = true;
      return false;
    }
  }
  SetLastError(ret, TransError::kSessionOpen);
  return false;
}

bool UploadPeer::SendReq() {
  RetUploadReq ret;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0 && !pauseBetweenAttempts()) break;
    ret = HTTPEngine::sendReq(strUrl(), strSession_);
    if (ret.nStatusCode() == 200) {
      setOffset(ret.offset);
      return true;
    }
    // The server forgot the session: open it again; the next attempt asks
    // with the new one.
    if (ret.nStatusCode() == 401 && !SendInit()) return false;
  }
  SetLastError(ret, TransError::kResumeOffset);
  return false;
}

bool UploadPeer::SendDownloadChecksum() {
  RetUploadCheckSum ret;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0 && !pauseBetweenAttempts()) break;
    ret = HTTPEngine::sendDownloadCheckSum(strUrl(), strSession_);
    const std::int64_t status = ret.nStatusCode();
    if (status == 200) {
      pUploadFile_.setPiece(static_cast<std::int32_t>(nPiecelen_));
      return pUploadFile_.resolve_serverinof(ret.checksum());
    }
    if (endsDeltaCall(ret)) return false;
  }
  SetLastError(ret, TransError::kChecksums);
  return false;
}

bool UploadPeer::SendUploadChecksum() {
  RequestRet ret;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0 && !pauseBetweenAttempts()) break;
    ret = HTTPEngine::sendUploadCheckSum(strUrl(), strSession_, pServerHave_.value_or(""));
    const std::int64_t status = ret.nStatusCode();
    if (status == 200) return true;
    if (status == 202) {
      if (environment_.addSpeed) environment_.addSpeed(item().ullFilesize);
      Finish();
      return false;
    }
    if (endsDeltaCall(ret)) return false;
  }
  SetLastError(ret, TransError::kDeltaSend);
  return false;
}

bool UploadPeer::SendFinish() {
  RequestRet ret;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    ret = HTTPEngine::sendFinish(strUrl(), strSession_, static_cast<std::int64_t>(GetFileSize()));
    const std::int64_t status = ret.nStatusCode();
    if (status == 200) {
      Finish();
      return true;
    }
    if (status == 409) return false;  // data missing: the next attempt resumes
    if (status >= 500) {
      SetError(ret.nErrorCode(), ret.strErrorMsg());
      bResetServer_ = true;
      return false;
    }
  }
  SetLastError(ret, TransError::kSessionClose);
  return false;
}

bool UploadPeer::endsDeltaCall(const RequestRet& ret) {
  const std::int64_t status = ret.nStatusCode();
  if (status == 205) {
    // The server takes no delta for this content: plain from now on.
    CreateResetFile();
    ChangeNormalUpload();
    SetError(ret.nErrorCode(), ret.strErrorMsg());
    madeResetThisPass_ = true;
    return true;
  }
  if (status >= 500) {
    SetError(ret.nErrorCode(), ret.strErrorMsg());
    bResetServer_ = true;
    return true;
  }
  return false;
}

void UploadPeer::SetLastError(const RequestRet& ret, std::int64_t fallback) {
  if (ret.nErrorCode() > 0) {
    SetError(ret.nErrorCode(), ret.strErrorMsg());
  } else {
    SetError(fallback, "");
  }
}

bool UploadPeer::SendAbort() {
  return HTTPEngine::sendAbort(strUrl(), strSession_).nStatusCode() == 200;
}

void UploadPeer::Finish() {
  if (bStop()) return;
  nError_ = 0;
  if (nPiecelen_ != 0) ClearDiffInfo();
  DeleteServerTarget();
  DeleteResetFile();
  bFinish_ = true;
}

void UploadPeer::SetError(std::int64_t code, const std::string& text) {
  nError_ = code;
  strError_ = text;
  task_.updateItem([](TransTaskItem& item) { item.nStatus = kTransFailed; });
  NBLOG_ERROR("uploaderror:{},{}", code, text);
}

}  // namespace nb
