// What curl reports while a transfer runs: head lines, body bytes, the body
// it asks for, and the end of the transfer, well or badly.

#include <curl/curl.h>

#include <cstring>
#include <filesystem>
#include <mutex>

#include "http/gzip/ASIDataDecompressor.h"
#include "http/pool/ConnectionPool.h"
#include "http/request/ASIHTTPRequest.h"
#include "http/shared/BandwidthMeter.h"

namespace nb::http {

namespace {

// curl's results for a TLS failure.
bool isTlsFailure(int result) {
  switch (result) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
      return true;
    default:
      return false;
  }
}

// A kept-alive socket that the server closed shows as one of these before
// any byte of the response arrived.
bool isDroppedConnection(int result) {
  return result == CURLE_SEND_ERROR || result == CURLE_RECV_ERROR || result == CURLE_GOT_NOTHING;
}

std::string_view withoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Serialises the throttling part of every body read in the process.
std::mutex& readLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

// ---- inside curl ---------------------------------------------------------------------------

size_t ASIHTTPRequest::onHeaderLine(char* data, size_t size, size_t count, void* self) {
  auto* request = static_cast<ASIHTTPRequest*>(self);
  std::lock_guard lock(request->cancelledLock_);
  const InsideCurl inside(*request);
  // A request that ended meanwhile ends its transfer too.
  if (request->complete_ || request->cancelled_) return 0;
  try {
    request->headerLine(std::string_view(data, size * count));
  } catch (...) {
    return 0;
  }
  return size * count;
}

size_t ASIHTTPRequest::onBodyBytes(char* data, size_t size, size_t count, void* self) {
  auto* request = static_cast<ASIHTTPRequest*>(self);
  std::lock_guard lock(request->cancelledLock_);
  const InsideCurl inside(*request);
  if (request->complete_ || request->cancelled_) return 0;
  try {
    request->commitDeferredHead();
    // curl hands at most 16 KiB at a time; larger announced bodies are read
    // in larger pieces, as one read per piece.
    std::string& pending = request->pendingBody_;
    pending.append(data, size * count);
    const size_t piece = request->readSize();
    size_t used = 0;
    while (pending.size() - used >= piece && !request->complete_) {
      request->handleBytesAvailable(pending.data() + used, piece);
      used += piece;
    }
    pending.erase(0, used);
    request->performThrottling();
  } catch (...) {
    return 0;
  }
  // A failure while reading (an inflate error) ends the transfer here.
  return request->complete_ ? 0 : size * count;
}

size_t ASIHTTPRequest::readSize() const {
  if (contentLength_ > 262'144) return 262'144;
  if (contentLength_ > 65'536) return 65'536;
  return 16'384;
}

void ASIHTTPRequest::performPassEnded() {
  std::lock_guard lock(cancelledLock_);
  applyThrottling();
  if (pendingBody_.empty()) return;
  std::string pending;
  pending.swap(pendingBody_);
  if (!complete_ && !cancelled_) handleBytesAvailable(pending.data(), pending.size());
}

size_t ASIHTTPRequest::onReadBody(char* data, size_t size, size_t count, void* self) {
  auto* request = static_cast<ASIHTTPRequest*>(self);
  const uint64_t left = request->postLength_ - std::min(request->bodyReadOffset_, request->postLength_);
  size_t wanted = static_cast<size_t>(std::min<uint64_t>(left, size * count));
  {
    std::lock_guard lock(readLock());
    BandwidthMeter& meter = BandwidthMeter::shared();
    if (meter.isBandwidthThrottled()) {
      const uint64_t allowance = meter.maxUploadReadLength();
      if (allowance < wanted) wanted = static_cast<size_t>(std::max<uint64_t>(allowance, 1));
      std::lock_guard requestLock(request->cancelledLock_);
      const InsideCurl inside(*request);
      request->performThrottling();
      // Past the budget: curl stops asking until the wake-up time resumes it.
      if (request->wantsThrottlePause_) {
        request->pausedByThrottle_ = true;
        return CURL_READFUNC_PAUSE;
      }
    }
  }
  size_t got = 0;
  {
    std::lock_guard lock(request->fieldLock_);
    const auto& file = request->compressedPostBodyFilePath_ ? request->compressedPostBodyFilePath_
                                                            : request->postBodyFilePath_;
    const auto& memory =
        request->compressedPostBody_ ? request->compressedPostBody_ : request->postBody_;
    if (file) {
      if (!request->bodyFile_) {
        request->bodyFile_ = std::make_unique<std::ifstream>(*file, std::ios::binary);
      }
      request->bodyFile_->seekg(static_cast<std::streamoff>(request->bodyReadOffset_));
      request->bodyFile_->read(data, static_cast<std::streamsize>(wanted));
      got = static_cast<size_t>(request->bodyFile_->gcount());
      if (got < wanted) return CURL_READFUNC_ABORT;
    } else if (memory) {
      got = std::min(wanted,
                     memory->size() - std::min<size_t>(request->bodyReadOffset_, memory->size()));
      std::memcpy(data, memory->data() + request->bodyReadOffset_, got);
    }
  }
  request->bodyReadOffset_ += got;
  if (got > 0) BandwidthMeter::shared().incrementBandwidthUsedInLastSecond(got);
  return got;
}

int ASIHTTPRequest::onSeekBody(void* self, int64_t offset, int origin) {
  if (offset != 0 || origin != SEEK_SET) return CURL_SEEKFUNC_CANTSEEK;
  static_cast<ASIHTTPRequest*>(self)->bodyReadOffset_ = 0;
  return CURL_SEEKFUNC_OK;
}

void ASIHTTPRequest::headerLine(std::string_view raw) {
  if (headRead_) return;  // trailers
  const std::string_view line = withoutLineEnd(raw);
  if (line.starts_with("HTTP/")) {
    // A deferred challenge followed by another answer was curl's own step.
    headDeferred_ = false;
    pendingStatusLine_ = std::string(line);
    pendingHeaders_ = {};
    headStarted_ = true;
    return;
  }
  if (line.empty()) {
    if (pendingStatusLine_.empty()) return;
    const size_t space = pendingStatusLine_.find(' ');
    const bool interim = space != std::string::npos && pendingStatusLine_.size() > space + 1 &&
                         pendingStatusLine_[space + 1] == '1';
    if (interim) {
      pendingStatusLine_.clear();
      pendingHeaders_ = {};
      return;
    }
    if (headIsForTunnel()) return;
    const int status = std::atoi(pendingStatusLine_.c_str() + (space == std::string::npos ? 0 : space + 1));
    const bool curlAnswers = request_ && ((status == 401 && request_->serverAuth &&
                                           request_->serverAuth->scheme != CURLAUTH_BASIC) ||
                                          (status == 407 && request_->proxyAuth));
    if (curlAnswers) {
      headDeferred_ = true;
      return;
    }
    headRead_ = true;
    readResponseHeaders();
    return;
  }
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  pendingHeaders_.add(trimmed(line.substr(0, colon)), std::string(trimmed(line.substr(colon + 1))));
}

// A head that ends before the tunnel opened is the proxy's answer to
// CONNECT: a 2xx opens the tunnel, anything else is kept for the end.
bool ASIHTTPRequest::headIsForTunnel() {
  if (!tunnelling_ || tunnelOpen_) return false;
  const size_t space = pendingStatusLine_.find(' ');
  const int status = space == std::string::npos ? 0 : std::atoi(pendingStatusLine_.c_str() + space + 1);
  if (status >= 200 && status < 300) {
    tunnelOpen_ = true;
  } else {
    connectHead_.emplace(pendingStatusLine_, pendingHeaders_);
  }
  pendingStatusLine_.clear();
  pendingHeaders_ = {};
  return true;
}

void ASIHTTPRequest::commitDeferredHead() {
  if (!headDeferred_) return;
  headDeferred_ = false;
  headRead_ = true;
  readResponseHeaders();
}

// curl ends a transfer whose CONNECT was refused with an error; a 407 there
// is read as the request's own 407, with the proxy's challenge.
bool ASIHTTPRequest::takeConnectRefusal(int result) {
  if (result == CURLE_OK || !tunnelling_ || tunnelOpen_ || !connectHead_) return false;
  long connectCode = 0;
  curl_easy_getinfo(easy_.handle(), CURLINFO_HTTP_CONNECTCODE, &connectCode);
  if (connectCode != 407) return false;
  pendingStatusLine_ = connectHead_->first;
  pendingHeaders_ = connectHead_->second;
  connectHead_.reset();
  headStarted_ = true;
  headRead_ = true;
  readResponseHeaders();
  // The tunnel's connection is gone with the refusal.
  connectionCanBeReused_ = false;
  return true;
}

void ASIHTTPRequest::handleBytesAvailable(const char* data, size_t size) {
  if (size == 0) return;
  std::optional<std::string> inflated;
  if (!shouldWaitToInflateCompressedResponses && isResponseCompressed()) {
    if (!dataDecompressor_) dataDecompressor_ = std::make_unique<ASIDataDecompressor>();
    ASIErrorPtr inflateError;
    inflated = dataDecompressor_->uncompressBytes(std::string_view(data, size), &inflateError);
    if (inflateError) {
      failWithError(inflateError);
      return;
    }
    if (!inflated) inflated.emplace();
  }
  totalBytesRead_ += size;
  lastActivityTime_ = platform::monotonicNow();
  BandwidthMeter::shared().incrementBandwidthUsedInLastSecond(size);
  if (needsRedirect_ && shouldRedirect && allowResumeForFileDownloads) return;
  const std::string_view raw(data, size);
  const std::string_view chunk = inflated ? std::string_view(*inflated) : raw;
  ASIHTTPRequestDelegate* d = delegate();
  if ((d != nullptr && d->respondsToSelector(didReceiveDataSelector)) || dataReceivedBlock_) {
    passOnReceivedData(std::string(chunk));
  } else if (!downloadDestinationPath()) {
    std::lock_guard lock(fieldLock_);
    if (!rawResponseData_) rawResponseData_.emplace();
    rawResponseData_->append(chunk);
  } else {
    writeToDownloadFiles(raw, inflated);
    if (complete_) return;
  }
  updateDownloadProgress();
}

// ---- the end of a transfer -------------------------------------------------------------------

void ASIHTTPRequest::transferDone(int result) {
  const auto self = shared_from_this();
  {
    std::lock_guard lock(cancelledLock_);
    // The driver has already taken the handle out of its multi handle.
    unscheduleReadStream();
    if (complete_ || cancelled_) return;
    if (result == CURLE_OK) commitDeferredHead();
    if (takeConnectRefusal(result)) result = CURLE_OK;
    if (result == CURLE_OK) {
      handleStreamComplete();
    } else {
      handleStreamError(result);
    }
  }
  handleNetworkEnd(result);
}

void ASIHTTPRequest::handleStreamComplete() {
  setStatusTimer(false);
  downloadComplete_ = true;
  lastBytesSent_ = totalBytesSent_;
  totalBytesSent_ = bytesSentByTransfer();
  complete_ = true;
  if (contentLength_ == 0) contentLength_ = totalBytesRead_;
  updateProgressIndicators();
  bodyFile_.reset();
  dataDecompressor_.reset();
  if (authenticationNeeded_ == 0) removeTemporaryUploadFiles();
  const ASIErrorPtr fileError = moveDownloadIntoPlace();
  if (!fileError) storeInCache();
  if (connectionInfo_) {
    ConnectionPool::shared().handBack(*connectionInfo_, connectionCanBeReused_,
                                      persistentConnectionTimeoutSeconds);
  }
  if (authenticationNeeded_ == 0) destroyReadStream();
  if (!needsRedirect_ && authenticationNeeded_ == 0) {
    if (fileError) {
      failWithError(fileError);
    } else {
      requestFinished();
    }
    markAsFinished();
  }
}

void ASIHTTPRequest::handleStreamError(int result) {
  if (error()) {
    cancelLoad();
    return;
  }
  if (isDroppedConnection(result) && !headStarted_ && retryUsingNewConnection()) return;
  std::string description = "A connection failure occurred";
  if (isTlsFailure(result)) {
    description +=
        ": SSL problem (Possible causes may include a bad/expired/self-signed certificate, clock "
        "set to wrong date)";
  }
  const std::string curlText =
      curlErrorText_[0] != '\0' ? curlErrorText_ : curl_easy_strerror(static_cast<CURLcode>(result));
  auto underlying = std::make_shared<const ASIError>("CurlErrorDomain", result, curlText);
  cancelLoad();
  failWithError(ASIError::make(ASIConnectionFailureErrorType, description, std::nullopt,
                               std::move(underlying)));
}

// After the event's lock is let go: a redirect goes on at once unless the
// delegate is asked first; a challenge nobody can answer fails.
void ASIHTTPRequest::handleNetworkEnd(int result) {
  if (result != CURLE_OK || !downloadComplete_) return;
  if (needsRedirect_) {
    if (!willAskDelegateToConfirmRedirect()) performRedirect();
    return;
  }
  if (authenticationNeeded_ != 0) {
    std::lock_guard lock(cancelledLock_);
    attemptToApplyCredentialsAndResume();
  }
}

}  // namespace nb::http
