// Running a request: the two starts, building the message, opening the
// transfer on curl, the status tick with the idle time-out, cancelling,
// tearing a run down and restarting after a redirect.

#include <curl/curl.h>
#include <fmt/format.h>

#include <filesystem>
#include <fstream>

#include "http/engine/CurlUrl.h"
#include "http/engine/NetworkThread.h"
#include "http/pool/ConnectionPool.h"
#include "http/text/TextEncoding.h"
#include "http/request/ASIHTTPRequest.h"
#include "http/request/RequestQueueSlot.h"
#include "http/shared/ASIHTTPRequestDefaults.h"
#include "http/shared/BandwidthMeter.h"
#include "platform/Log.h"
#include "platform/OperationQueue.h"

namespace nb::http {

namespace {

constexpr auto kStatusTick = std::chrono::milliseconds(250);
constexpr double kTimeOutFactorWithBody = 1.5;
constexpr long kBufferSize = 262'144;

long curlProxyType(const std::string& type) {
  if (type == "HTTPS") return CURLPROXY_HTTPS;
  if (type == "SOCKS5" || type == "SOCKS") return CURLPROXY_SOCKS5_HOSTNAME;
  if (type == "SOCKS4A") return CURLPROXY_SOCKS4A;
  if (type == "SOCKS4") return CURLPROXY_SOCKS4;
  return CURLPROXY_HTTP;
}

void setClientIdentityOptions(CURL* curl, const ASIHTTPRequest::ClientIdentity& identity) {
  curl_blob certificate{const_cast<char*>(identity.certificate.data()),
                        identity.certificate.size(), CURL_BLOB_COPY};
  curl_easy_setopt(curl, CURLOPT_SSLCERT_BLOB, &certificate);
  curl_easy_setopt(curl, CURLOPT_SSLCERTTYPE, identity.type.c_str());
  if (!identity.key.empty()) {
    curl_blob key{const_cast<char*>(identity.key.data()), identity.key.size(), CURL_BLOB_COPY};
    curl_easy_setopt(curl, CURLOPT_SSLKEY_BLOB, &key);
  }
  if (!identity.password.empty()) curl_easy_setopt(curl, CURLOPT_KEYPASSWD, identity.password.c_str());
}

std::string withoutUserInfo(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  const size_t end = std::min(url.find_first_of("/?#", scheme + 3), url.size());
  const size_t at = url.rfind('@', end);
  if (at == std::string::npos || at < scheme + 3) return url;
  return url.substr(0, scheme + 3) + url.substr(at + 1);
}

}  // namespace

platform::OperationQueue& ASIHTTPRequest::sharedQueue() {
  return ASIHTTPRequestDefaults::sharedQueue();
}

double ASIHTTPRequest::defaultTimeOutSeconds() {
  return ASIHTTPRequestDefaults::defaultTimeOutSeconds();
}

void ASIHTTPRequest::setDefaultTimeOutSeconds(double seconds) {
  ASIHTTPRequestDefaults::setDefaultTimeOutSeconds(seconds);
}

// ---- starting -------------------------------------------------------------------

void ASIHTTPRequest::startSynchronous() {
  const auto self = shared_from_this();
  isSynchronous_ = true;
  inProgress_ = true;
  CurlDriver& driver = CurlDriver::forCurrentThread();
  {
    std::lock_guard lock(cancelledLock_);
    driver_ = &driver;
  }
  if (!isCancelled() && !complete_) {
    main();
    while (!complete_) driver.runOnce(kStatusTick);
  }
  finishSynchronousWait();
  inProgress_ = false;
}

// The wait is over: whatever of the transfer is left goes with this thread's
// driver, and other threads stop waking it.
void ASIHTTPRequest::finishSynchronousWait() {
  std::lock_guard lock(cancelledLock_);
  if (driver_ != nullptr && driver_->isOwnerThread()) {
    driver_->remove(easy_.handle());
    driver_->clearTimer(this);
    timerRunning_ = false;
  }
  if (readStreamIsScheduled_) unscheduleReadStream();
  driver_ = nullptr;
}

void ASIHTTPRequest::startAsynchronous() { sharedQueue().addOperation(queueOperation()); }

std::shared_ptr<platform::Operation> ASIHTTPRequest::queueOperation() {
  std::lock_guard lock(cancelledLock_);
  if (!slot_) {
    slot_ = std::make_shared<RequestQueueSlot>(shared_from_this());
    slot_->setQueuePriority(queuePriority_);
  }
  return slot_;
}

void ASIHTTPRequest::start() {
  inProgress_ = true;
  CurlDriver& network = NetworkThread::driver();
  {
    std::lock_guard lock(cancelledLock_);
    driver_ = &network;
  }
  network.post([self = shared_from_this()] { self->main(); });
}

// ---- building the message ----------------------------------------------------------

void ASIHTTPRequest::main() {
  const auto self = shared_from_this();
  std::lock_guard lock(cancelledLock_);
  try {
    runMain();
  } catch (const std::exception& e) {
    // Anything escaping here would leave the request neither finished nor
    // failed: a synchronous caller would wait for ever.
    failWithError(ASIError::make(ASIUnhandledExceptionError, "std::exception", e.what(),
                                 ASIError::make(ASIUnhandledExceptionError, e.what())));
  } catch (...) {
    failWithError(ASIError::make(ASIUnhandledExceptionError, "unknown exception",
                                 std::string("unknown"),
                                 ASIError::make(ASIUnhandledExceptionError, "unknown")));
  }
}

void ASIHTTPRequest::runMain() {
  if (error()) {
    complete_ = true;
    markAsFinished();
    return;
  }
  complete_ = false;
  if (url_.empty() || !parseHttpUrl(url_)) {
    failWithError(ASIUnableToCreateRequestError());
    return;
  }
  if (!isHeadCompanion_) {
    buildPostBody();
    if (error()) return;
  }
  request_ = Message{requestMethod_, url_, useHTTPVersionOne, {}};
  buildRequestHeaders();
  if (error() || answerFromCacheAtStart()) return;
  request_->headers = requestHeaders();
  credentialsApplied_ = false;
  proxyCredentialsApplied_ = false;
  applyAuthorizationHeader();
  if (configureProxies()) startRequest();
}

// ---- opening the transfer ------------------------------------------------------------

void ASIHTTPRequest::startRequest() {
  if (cancelled_) return;
  requestStarted();
  downloadComplete_ = false;
  complete_ = false;
  totalBytesRead_ = 0;
  lastBytesRead_ = 0;
  headRead_ = false;
  headStarted_ = false;
  pendingHeaders_ = {};
  pendingStatusLine_.clear();
  pendingBody_.clear();
  {
    std::lock_guard lock(fieldLock_);
    if (redirectCount_ == 0) originalURL_ = url_;
    responseHeaders_.reset();
    rawResponseData_.emplace();
  }
  if (lastBytesSent_ > 0) removeUploadProgressSoFar();
  lastBytesSent_ = 0;
  contentLength_ = 0;
  readStreamIsScheduled_ = false;
  bodyReadOffset_ = 0;

  if (!configureTransfer()) {
    failWithError(ASIError::make(ASIInternalErrorWhileBuildingRequestType,
                                 "Unable to create read stream"));
    return;
  }
  claimConnection();
  scheduleReadStream();
  if (!readStreamIsScheduled_) {
    connectionCanBeReused_ = false;
    failWithError(ASIError::make(ASIInternalErrorWhileBuildingRequestType,
                                 "Unable to start HTTP connection"));
    return;
  }
  pausedByThrottle_ = false;
  performThrottling();
  applyThrottling();
  resetProgressForAttempt();
  lastActivityTime_ = platform::monotonicNow();
  setStatusTimer(true);
}

bool ASIHTTPRequest::configureTransfer() {
  CURL* curl = easy_.handle();
  if (curl == nullptr || driver_ == nullptr || !request_) return false;
  driver_->remove(curl);
  curl_easy_reset(curl);
  const Message& message = *request_;
  // curl would send a user:password of the URL as Basic credentials of its
  // own; the library reads them itself when challenged.
  const std::string address = withoutUserInfo(message.url);
  bool ok = curl_easy_setopt(curl, CURLOPT_URL, address.c_str()) == CURLE_OK;
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION,
                   message.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  const std::string proxy =
      !proxyHost_.empty() && proxyPort_ != 0 ? fmt::format("{}:{}", proxyHost_, proxyPort_) : "";
  curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
  if (!proxy.empty()) curl_easy_setopt(curl, CURLOPT_PROXYTYPE, curlProxyType(proxyType_));
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  // The proxy's answers to CONNECT come to the header callback, which tells
  // them apart: a refusal with its challenge is the request's answer.
  tunnelling_ = !proxy.empty() && curlProxyType(proxyType_) == CURLPROXY_HTTP &&
                parseHttpUrl(address).value_or(UrlParts{}).scheme == "https";
  tunnelOpen_ = false;
  connectHead_.reset();
  headDeferred_ = false;
  curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, tunnelling_ ? 0L : 1L);
  // First attempts carry none of these, so curl hands every 401 and 407 to
  // the library.
  if (message.serverAuth) {
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, message.serverAuth->scheme);
    curl_easy_setopt(curl, CURLOPT_USERNAME, message.serverAuth->username.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, message.serverAuth->password.c_str());
  }
  if (message.proxyAuth && !proxy.empty()) {
    curl_easy_setopt(curl, CURLOPT_PROXYAUTH, message.proxyAuth->scheme);
    curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, message.proxyAuth->username.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, message.proxyAuth->password.c_str());
  }
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kBufferSize);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, curlErrorText_);
  curlErrorText_[0] = '\0';

  curlHeaders_ = std::make_unique<platform::CurlHeaderList>();
  for (const auto& [name, value] : message.headers.fields()) {
    ok = ok && curlHeaders_->append(value.empty() ? name + ";" : name + ": " + value);
  }
  // curl would add "Expect: 100-continue" (and wait for it) and a form
  // Content-Type of its own.
  ok = ok && curlHeaders_->append("Expect:");
  if (!message.headers.contains("Content-Type")) ok = ok && curlHeaders_->append("Content-Type:");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, curlHeaders_->get());

  if (postLength_ > 0) {
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(postLength_));
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, message.method.c_str());
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &ASIHTTPRequest::onReadBody);
    curl_easy_setopt(curl, CURLOPT_READDATA, this);
    curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, &ASIHTTPRequest::onSeekBody);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, this);
  } else if (message.method == "HEAD") {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  } else if (message.method == "GET") {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, message.method.c_str());
  }

  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, validatesSecureCertificate ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, validatesSecureCertificate ? 2L : 0L);
  if (validatesSecureCertificate && !certificateAuthorityFile.empty()) {
    curl_easy_setopt(curl, CURLOPT_CAINFO, certificateAuthorityFile.c_str());
  }
  {
    std::lock_guard lock(fieldLock_);
    if (clientCertificateIdentity_) setClientIdentityOptions(curl, *clientCertificateIdentity_);
  }
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &ASIHTTPRequest::onHeaderLine);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &ASIHTTPRequest::onBodyBytes);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(curl, CURLOPT_PRIVATE, this);
  return ok;
}

void ASIHTTPRequest::claimConnection() {
  ConnectionPool& pool = ConnectionPool::shared();
  pool.expirePersistentConnections();
  const auto parts = parseHttpUrl(url_).value_or(UrlParts{});
  ConnectionChoice choice;
  {
    std::lock_guard lock(fieldLock_);
    std::optional<uint32_t> id = requestID_;
    choice = pool.claim(parts.scheme, parts.host, parts.port, shouldAttemptPersistentConnection,
                        connectionInfo_, id);
    requestID_ = id;
  }
  if (!shouldAttemptPersistentConnection) {
    std::lock_guard lock(ConnectionPool::connectionsLock());
    connectionInfo_.reset();
  }
  CURL* curl = easy_.handle();
  curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, choice.freshConnect ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, choice.forbidReuse ? 1L : 0L);
  if (choice.maxAgeSeconds > 0) curl_easy_setopt(curl, CURLOPT_MAXAGE_CONN, choice.maxAgeSeconds);
}

void ASIHTTPRequest::scheduleReadStream() {
  if (readStreamIsScheduled_ || driver_ == nullptr) return;
  if (!driver_->add(easy_.handle(), shared_from_this())) return;
  BandwidthMeter::shared().requestScheduled();
  lastActivityTime_ = platform::monotonicNow();
  readStreamIsScheduled_ = true;
}

void ASIHTTPRequest::unscheduleReadStream() {
  if (!readStreamIsScheduled_) return;
  BandwidthMeter::shared().requestUnscheduled();
  readStreamIsScheduled_ = false;
}

// The transfer leaves its multi handle at once on the owning thread; from
// another thread (a cancel of a synchronous request) the owner is woken and
// its wait loop lets the handle go.
void ASIHTTPRequest::detachTransfer() {
  if (driver_ == nullptr || insideCurlCallback_) return;
  if (driver_->isOwnerThread()) {
    driver_->remove(easy_.handle());
  } else {
    driver_->wakeup();
  }
}

void ASIHTTPRequest::destroyReadStream() {
  unscheduleReadStream();
  detachTransfer();
}

// ---- the status tick ----------------------------------------------------------------

void ASIHTTPRequest::setStatusTimer(bool on) {
  if (driver_ == nullptr || !driver_->isOwnerThread()) return;
  if (on) {
    driver_->setTimer(shared_from_this(), kStatusTick);
  } else {
    driver_->clearTimer(this);
  }
  timerRunning_ = on;
}

void ASIHTTPRequest::statusTick() {
  const auto self = shared_from_this();
  checkRequestStatus();
  std::lock_guard lock(cancelledLock_);
  if (!inProgress_ || complete_) setStatusTimer(false);
}

uint64_t ASIHTTPRequest::bytesSentByTransfer() {
  curl_off_t sent = 0;
  curl_easy_getinfo(easy_.handle(), CURLINFO_SIZE_UPLOAD_T, &sent);
  return sent > 0 ? static_cast<uint64_t>(sent) : 0;
}

void ASIHTTPRequest::checkRequestStatus() {
  std::unique_lock lock(cancelledLock_);
  if (cancelled_ || complete_) return;
  performThrottling();
  applyThrottling();
  if (shouldTimeOut()) {
    if (numberOfTimesToRetryOnTimeout > retryCount_) {
      updatePartialDownloadSize();
      if (partialDownloadSize_ > 0 && request_) {
        request_->headers.set("Range", fmt::format("bytes={}-", partialDownloadSize_));
      }
      ++retryCount_;
      unscheduleReadStream();
      startRequest();
      return;
    }
    failWithError(ASIRequestTimedOutError());
    cancelLoad();
    complete_ = true;
    return;
  }
  if (!readStreamIsScheduled_) return;
  if (postLength_ > 0) {
    lastBytesSent_ = totalBytesSent_;
    totalBytesSent_ = bytesSentByTransfer();
    // Body bytes were counted for the bandwidth when curl read them; counting
    // the growth here again would let uploads through at half the limit.
    if (totalBytesSent_ > lastBytesSent_) lastActivityTime_ = platform::monotonicNow();
  }
  updateProgressIndicators();
}

bool ASIHTTPRequest::shouldTimeOut() const {
  if (!readStreamIsScheduled_ || pausedByThrottle_ || !lastActivityTime_) return false;
  const double idle =
      std::chrono::duration<double>(platform::monotonicNow() - *lastActivityTime_).count();
  if (timeOutSeconds <= 0 || idle <= timeOutSeconds) return false;
  if (postLength_ == 0) return true;
  if (uploadBufferSize_ > 0 && totalBytesSent_ > uploadBufferSize_) return true;
  return idle > timeOutSeconds * kTimeOutFactorWithBody;
}

// ---- throttling ----------------------------------------------------------------------

// Decides whether the transfer should wait for the throttle's wake-up time.
// Safe inside curl callbacks: the decision is applied by applyThrottling().
void ASIHTTPRequest::performThrottling() {
  if (!readStreamIsScheduled_) return;
  BandwidthMeter& meter = BandwidthMeter::shared();
  meter.measureBandwidthUsage();
  if (!meter.isBandwidthThrottled()) {
    wantsThrottlePause_ = false;
    return;
  }
  const auto wakeUp = meter.throttleWakeUpTime();
  if (!wakeUp) return;
  wantsThrottlePause_ = *wakeUp > platform::monotonicNow();
}

// Pauses or resumes the transfer as decided; on the owning thread, outside
// curl's callbacks and without the class locks (resuming may run callbacks).
void ASIHTTPRequest::applyThrottling() {
  if (!readStreamIsScheduled_ || insideCurlCallback_ || driver_ == nullptr ||
      !driver_->isOwnerThread() || wantsThrottlePause_ == pausedByThrottle_) {
    return;
  }
  pausedByThrottle_ = wantsThrottlePause_;
  curl_easy_pause(easy_.handle(), pausedByThrottle_ ? CURLPAUSE_ALL : CURLPAUSE_CONT);
  if (!pausedByThrottle_) lastActivityTime_ = platform::monotonicNow();
}

// ---- cancelling ---------------------------------------------------------------------

void ASIHTTPRequest::cancel() {
  NetworkThread::driver().post([self = shared_from_this()] { self->cancelOnRequestThread(); });
}

void ASIHTTPRequest::cancelOnRequestThread() {
  std::lock_guard lock(cancelledLock_);
  if (cancelled_ || complete_) return;
  failWithError(ASIRequestCancelledError());
  complete_ = true;
  cancelLoad();
  cancelled_ = true;
}

void ASIHTTPRequest::clearDelegatesAndCancel() {
  {
    std::lock_guard lock(cancelledLock_);
    delegate_ = nullptr;
    uploadProgressDelegate_ = nullptr;
    downloadProgressDelegate_ = nullptr;
    std::lock_guard fields(fieldLock_);
    queue_.reset();
  }
  releaseBlocksOnMainThread();
  cancel();
}

void ASIHTTPRequest::cancelLoad() {
  cancelPACFetch();
  destroyReadStream();
  setStatusTimer(false);
  if (!complete_) {
    std::lock_guard lock(fieldLock_);
    rawResponseData_.reset();
  }
  removeUnfinishedDownloadFiles();
  if (authenticationNeeded_ == 0 && !willRetryRequest_) removeTemporaryUploadFiles();
}

// The body files the library made itself (the streamed body, its gzip copy).
void ASIHTTPRequest::removeTemporaryUploadFiles() {
  bodyFile_.reset();
  removeTemporaryCompressedUploadFile();
  if (didCreateTemporaryPostDataFile_) removeTemporaryUploadFile();
  didCreateTemporaryPostDataFile_ = false;
}

// ---- redirects and the end of the operation ----------------------------------------

void ASIHTTPRequest::performRedirect() {
  std::lock_guard lock(cancelledLock_);
  setURL(redirectURL_.value_or(""));
  complete_ = true;
  needsRedirect_ = false;
  ++redirectCount_;
  if (redirectCount_ <= RedirectionLimit) {
    main();
  } else {
    failWithError(ASITooMuchRedirectionError());
    complete_ = true;
  }
}

void ASIHTTPRequest::redirectToURL(const std::string& url) {
  {
    std::lock_guard lock(cancelledLock_);
    redirectURL_ = url;
  }
  NetworkThread::driver().post([self = shared_from_this()] { self->performRedirect(); });
}

void ASIHTTPRequest::markAsFinished() {
  const auto self = shared_from_this();
  request_.reset();
  inProgress_ = false;
  finished_ = true;
  std::shared_ptr<RequestQueueSlot> slot;
  std::function<void()> pacFileDone;
  {
    std::lock_guard lock(cancelledLock_);
    slot.swap(slot_);
    pacFileDone.swap(PACFileDone_);
  }
  if (slot) slot->requestFinished();
  if (pacFileDone) NetworkThread::driver().post(std::move(pacFileDone));
}

bool ASIHTTPRequest::retryUsingNewConnection() {
  if (retryCount_ != 0) return false;
  willRetryRequest_ = true;
  cancelLoad();
  willRetryRequest_ = false;
  {
    std::lock_guard lock(ConnectionPool::connectionsLock());
    ConnectionPool::shared().removeEntry(connectionInfo_);
    connectionInfo_.reset();
  }
  ++retryCount_;
  startRequest();
  return true;
}

}  // namespace nb::http
