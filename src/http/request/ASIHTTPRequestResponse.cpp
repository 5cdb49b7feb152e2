// Reading a response head, deciding redirects and keep-alive, and delivering
// every event of a request to the main thread; the one failure path.

#include <fmt/format.h>

#include <cctype>

#include "http/engine/CurlUrl.h"
#include "http/pool/ConnectionPool.h"
#include "http/request/ASIHTTPRequest.h"
#include "http/shared/ContentType.h"
#include "platform/MainThread.h"

namespace nb::http {

namespace {

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Decimal digits only: HTTP lengths are decimal, and curl frames the body by
// the decimal value ("010" is ten bytes).
uint64_t decimalLength(const std::string& text) {
  uint64_t value = 0;
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  return value;
}

// An integer at `pos` after white space; 0 when none can be read.
long readInteger(const std::string& text, size_t& pos) {
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  long value = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
    value = value * 10 + (text[pos++] - '0');
  }
  return negative ? -value : value;
}

}  // namespace

// ---- the head ----------------------------------------------------------------------------

void ASIHTTPRequest::readResponseHeaders() {
  authenticationNeeded_ = 0;
  const std::string statusLine = pendingStatusLine_;
  const std::string version = statusLine.substr(0, statusLine.find(' '));
  size_t pos = statusLine.find(' ');
  const int status = pos == std::string::npos ? 0 : static_cast<int>(readInteger(statusLine, pos));
  {
    std::lock_guard lock(fieldLock_);
    responseHeaders_ = pendingHeaders_;
    responseStatusMessage_ = statusLine;
  }
  responseStatusCode_ = status;
  if (status == 401) authenticationNeeded_ = 1;
  if (status == 407) authenticationNeeded_ = 2;
  rememberAcceptedBasicCredentials();
  parseStringEncodingFromHeaders();
  if (!willRedirect()) {
    const auto length = pendingHeaders_.find("Content-Length");
    const auto main = mainRequest_.lock();
    ASIHTTPRequest& target = main ? *main : *this;
    if (length) target.contentLength_ = decimalLength(*length);
    // This request's settings decide; a HEAD request announces its main
    // request's size.
    if (showAccurateProgress && shouldResetDownloadProgress) {
      target.announceDownloadSize(length.has_value());
    }
  }
  decideKeepAlive(version);
  requestReceivedResponseHeaders(pendingHeaders_);
  answerFromCacheAtHead();
}

void ASIHTTPRequest::parseStringEncodingFromHeaders() {
  uint64_t encoding = defaultResponseEncoding;
  std::optional<std::string> mime;
  if (const auto type = pendingHeaders_.find("Content-Type")) {
    parseMimeTypeAndResponseEncoding(mime, encoding, *type);
  }
  responseEncoding_ = encoding;
}

void ASIHTTPRequest::decideKeepAlive(const std::string& httpVersion) {
  if (!shouldAttemptPersistentConnection) return;
  const std::string connection = lowered(pendingHeaders_.find("Connection").value_or(""));
  if (httpVersion == "HTTP/1.0" && connection != "keep-alive") return;
  if (connection == "close") return;
  const auto keepAlive = pendingHeaders_.find("Keep-Alive");
  if (!keepAlive) {
    connectionCanBeReused_ = true;
    return;
  }
  const std::string text = lowered(*keepAlive);
  size_t pos = 0;
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  if (text.compare(pos, 8, "timeout=") == 0) pos += 8;
  const long timeout = readInteger(text, pos);
  const size_t maxAt = text.find("max=", pos);
  if (maxAt == std::string::npos) return;
  size_t maxPos = maxAt + 4;
  const long max = readInteger(text, maxPos);
  if (max <= 5) return;
  connectionCanBeReused_ = true;
  persistentConnectionTimeoutSeconds = static_cast<double>(timeout);
}

bool ASIHTTPRequest::willRedirect() {
  const auto location = pendingHeaders_.find("Location");
  if (!shouldRedirect || !location) return false;
  const int status = responseStatusCode_;
  if (status != 301 && status != 302 && status != 303 && status != 307) return false;
  const auto target = resolveUrl(url_, *location);
  if (!target) return false;
  requestRedirected();
  if (status == 303 || ((status == 301 || status == 302) && !shouldUseRFC2616RedirectBehaviour)) {
    requestMethod_ = "GET";
    postLength_ = 0;
    std::lock_guard lock(fieldLock_);
    postBody_.reset();
    RequestHeaderList kept;
    for (const char* name : {"User-Agent", "Accept"}) {
      if (const auto* value = requestHeaders_.find(name)) kept.set(name, *value);
    }
    requestHeaders_ = kept;
    haveBuiltRequestHeaders_ = false;
  } else {
    applyCookieHeader();
  }
  redirectURL_ = *target;
  needsRedirect_ = true;
  std::lock_guard lock(fieldLock_);
  requestCookies_.clear();
  return true;
}

bool ASIHTTPRequest::willAskDelegateToConfirmRedirect() {
  std::lock_guard lock(cancelledLock_);
  ASIHTTPRequestDelegate* d = delegate();
  const auto q = queue();
  const bool asks = (d != nullptr && d->respondsToSelector(willRedirectSelector)) ||
                    (q && q->respondsToSelector(selector::willRedirectToURL));
  if (!asks) return false;
  const std::string target = redirectURL_.value_or("");
  redirectURL_.reset();
  requestWillRedirectToURL(target);
  return true;
}

// ---- ending ------------------------------------------------------------------------------

void ASIHTTPRequest::requestFinished() {
  if (error() || isHeadCompanion_) return;
  postToMainThread([self = shared_from_this()] { self->reportFinished(); });
}

void ASIHTTPRequest::failWithError(const ASIErrorPtr& theError) {
  if (answerFromCacheOnFailure(theError)) return;
  complete_ = true;
  if (theError && theError->code() != ASIAuthenticationErrorType &&
      theError->code() != ASITooMuchRedirectionErrorType) {
    {
      std::lock_guard lock(ConnectionPool::connectionsLock());
      ConnectionPool::shared().removeEntry(connectionInfo_);
    }
    destroyReadStream();
  }
  if (connectionCanBeReused_ && connectionInfo_) {
    ConnectionPool::shared().refreshExpiry(*connectionInfo_, persistentConnectionTimeoutSeconds);
  }
  if (cancelled_ || error()) return;
  {
    std::lock_guard lock(fieldLock_);
    error_ = theError;
  }
  auto reporter = shared_from_this();
  if (const auto main = mainRequest_.lock()) {
    {
      std::lock_guard lock(main->fieldLock_);
      main->error_ = theError;
    }
    reporter = main;
  }
  postToMainThread([reporter] { reporter->reportFailure(); });
  if (inProgress_) markAsFinished();
}

// ---- deliveries on the main thread -----------------------------------------------------

void ASIHTTPRequest::postToMainThread(std::function<void()> job) {
  if (platform::MainThread::isMainThread()) {
    job();
  } else {
    platform::MainThread::post(std::move(job));
  }
}

void ASIHTTPRequest::deliver(const std::string& delegateSelector, const DelegateArgument& argument,
                             const std::function<void()>& block, const char* queueSelector) {
  if (ASIHTTPRequestDelegate* d = delegate(); d && d->respondsToSelector(delegateSelector)) {
    d->performSelector(delegateSelector, *this, argument);
  }
  if (block) block();
  if (queueSelector == nullptr) return;
  if (const auto q = queue(); q && q->respondsToSelector(queueSelector)) {
    q->performSelector(queueSelector, *this, argument);
  }
}

void ASIHTTPRequest::requestStarted() {
  postToMainThread([self = shared_from_this()] {
    if (self->error() || self->isHeadCompanion_) return;
    self->deliver(self->didStartSelector, {}, self->startedBlock_, selector::requestStarted);
  });
}

void ASIHTTPRequest::requestReceivedResponseHeaders(const platform::HttpHeaders& headers) {
  postToMainThread([self = shared_from_this(), headers] {
    if (self->error() || self->isHeadCompanion_) return;
    const auto& block = self->headersReceivedBlock_;
    self->deliver(self->didReceiveResponseHeadersSelector, {.headers = &headers},
                  block ? std::function<void()>([&] { block(headers); }) : nullptr,
                  selector::didReceiveResponseHeaders);
  });
}

void ASIHTTPRequest::requestRedirected() {
  postToMainThread([self = shared_from_this()] {
    if (self->error() || self->isHeadCompanion_) return;
    self->deliver(selector::requestRedirected, {}, self->requestRedirectedBlock_, nullptr);
  });
}

void ASIHTTPRequest::requestWillRedirectToURL(const std::string& url) {
  postToMainThread([self = shared_from_this(), url] {
    if (self->error() || self->isHeadCompanion_) return;
    self->deliver(self->willRedirectSelector, {.url = &url}, nullptr, selector::willRedirectToURL);
  });
}

void ASIHTTPRequest::passOnReceivedData(const std::string& data) {
  postToMainThread([self = shared_from_this(), data] {
    const auto& block = self->dataReceivedBlock_;
    self->deliver(self->didReceiveDataSelector, {.data = &data},
                  block ? std::function<void()>([&] { block(data); }) : nullptr, nullptr);
  });
}

void ASIHTTPRequest::reportFinished() {
  deliver(didFinishSelector, {}, completionBlock_, selector::requestFinished);
}

void ASIHTTPRequest::reportFailure() {
  deliver(didFailSelector, {}, failureBlock_, selector::requestFailed);
}

}  // namespace nb::http
