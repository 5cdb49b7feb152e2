#include "http/request/ASIHTTPRequest.h"

#include <fmt/format.h>

#include <filesystem>
#include <fstream>

#include "http/gzip/ASIDataDecompressor.h"
#include "http/pool/ConnectionPool.h"
#include "http/request/RequestQueueSlot.h"
#include "http/shared/ASIHTTPRequestDefaults.h"
#include "http/text/TextEncoding.h"

namespace nb::http {

namespace {
constexpr size_t kFileReadSize = 262'144;
}

void RequestHeaderList::set(const std::string& name, std::string value) {
  for (auto& field : fields_) {
    if (field.first == name) {
      field.second = std::move(value);
      return;
    }
  }
  fields_.emplace_back(name, std::move(value));
}

const std::string* RequestHeaderList::find(const std::string& name) const {
  for (const auto& field : fields_) {
    if (field.first == name) return &field.second;
  }
  return nullptr;
}

std::shared_ptr<ASIHTTPRequest> ASIHTTPRequest::requestWithURL(const std::string& url) {
  return std::shared_ptr<ASIHTTPRequest>(new ASIHTTPRequest(url));
}

ASIHTTPRequest::ASIHTTPRequest(const std::string& url)
    : timeOutSeconds(defaultTimeOutSeconds()), downloadCache_(defaultCache()) {
  setURL(url);
}

ASIHTTPRequest::~ASIHTTPRequest() {
  // A request goes only once no driver holds it, so its handle is in no multi
  // handle any more; the blocks go with it on whatever thread drops it last.
  authenticationNeeded_ = 0;
  request_.reset();
  // The temporary files a run left behind go with the request (no failure
  // can be reported any more).
  closeDownloadFiles();
  bodyFile_.reset();
  std::vector<std::string> leftOver;
  if (!complete_ && !allowResumeForFileDownloads && temporaryFileDownloadPath_) {
    leftOver.push_back(*temporaryFileDownloadPath_);
  }
  if (!complete_ && temporaryUncompressedDataDownloadPath_) {
    leftOver.push_back(*temporaryUncompressedDataDownloadPath_);
  }
  if (compressedPostBodyFilePath_) leftOver.push_back(*compressedPostBodyFilePath_);
  if (didCreateTemporaryPostDataFile_ && postBodyFilePath_) leftOver.push_back(*postBodyFilePath_);
  for (const auto& path : leftOver) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
  releaseBlocksOnMainThread();
}

// ---- guarded accessors ------------------------------------------------------

void ASIHTTPRequest::setURL(const std::string& url) {
  std::lock_guard lock(cancelledLock_);
  if (url == url_) return;
  url_ = url;
  request_.reset();
  redirectURL_.reset();
  requestAuthentication_.reset();
  proxyAuthentication_.reset();
}

std::string ASIHTTPRequest::url() const {
  std::lock_guard lock(cancelledLock_);
  return url_;
}

void ASIHTTPRequest::setRequestMethod(const std::string& method) {
  std::lock_guard lock(cancelledLock_);
  if (method == requestMethod_) return;
  requestMethod_ = method;
  bool hasBody;
  {
    std::lock_guard fields(fieldLock_);
    hasBody = (postBody_ && !postBody_->empty()) || postBodyFilePath_.has_value();
  }
  if (method == "POST" || method == "PUT" || hasBody) shouldAttemptPersistentConnection = false;
}

std::string ASIHTTPRequest::requestMethod() const {
  std::lock_guard lock(cancelledLock_);
  return requestMethod_;
}

void ASIHTTPRequest::setDelegate(ASIHTTPRequestDelegate* delegate) {
  std::lock_guard lock(cancelledLock_);
  delegate_ = delegate;
}

ASIHTTPRequestDelegate* ASIHTTPRequest::delegate() const { return delegate_.load(); }

void ASIHTTPRequest::setQueue(std::shared_ptr<ASIHTTPRequestDelegate> queue) {
  std::lock_guard lock(cancelledLock_);
  std::lock_guard fields(fieldLock_);
  queue_ = std::move(queue);
}

std::shared_ptr<ASIHTTPRequestDelegate> ASIHTTPRequest::queue() const {
  std::lock_guard lock(fieldLock_);
  return queue_;
}

bool ASIHTTPRequest::isCancelled() const {
  std::lock_guard lock(cancelledLock_);
  return cancelled_;
}

void ASIHTTPRequest::addRequestHeader(const std::string& name, const std::string& value) {
  std::lock_guard lock(fieldLock_);
  requestHeaders_.set(name, value);
}

RequestHeaderList ASIHTTPRequest::requestHeaders() const {
  std::lock_guard lock(fieldLock_);
  return requestHeaders_;
}

void ASIHTTPRequest::setUserAgentString(std::string value) {
  std::lock_guard lock(fieldLock_);
  userAgentString_ = std::move(value);
}

std::optional<std::string> ASIHTTPRequest::userAgentString() const {
  std::lock_guard lock(fieldLock_);
  return userAgentString_;
}

void ASIHTTPRequest::setRequestCookies(std::vector<ASICookie> cookies) {
  std::lock_guard lock(fieldLock_);
  requestCookies_ = std::move(cookies);
}

std::vector<ASICookie> ASIHTTPRequest::requestCookies() const {
  std::lock_guard lock(fieldLock_);
  return requestCookies_;
}

void ASIHTTPRequest::setPostBodyFilePath(std::string path) {
  std::lock_guard lock(fieldLock_);
  postBodyFilePath_ = std::move(path);
}

void ASIHTTPRequest::setProxy(std::string host, int port, std::string type) {
  proxyHost_ = std::move(host);
  proxyPort_ = port;
  proxyType_ = std::move(type);
}

ASIErrorPtr ASIHTTPRequest::error() const {
  std::lock_guard lock(fieldLock_);
  return error_;
}

std::optional<std::string> ASIHTTPRequest::responseStatusMessage() const {
  std::lock_guard lock(fieldLock_);
  return responseStatusMessage_;
}

std::optional<platform::HttpHeaders> ASIHTTPRequest::responseHeaders() const {
  std::lock_guard lock(fieldLock_);
  return responseHeaders_;
}

std::optional<std::string> ASIHTTPRequest::rawResponseData() const {
  std::lock_guard lock(fieldLock_);
  return rawResponseData_;
}

std::optional<std::string> ASIHTTPRequest::originalURL() const {
  std::lock_guard lock(fieldLock_);
  return originalURL_;
}

std::optional<uint32_t> ASIHTTPRequest::requestID() const {
  std::lock_guard lock(fieldLock_);
  return requestID_;
}

std::optional<int> ASIHTTPRequest::connectionID() const {
  std::lock_guard lock(ConnectionPool::connectionsLock());
  if (!connectionInfo_) return std::nullopt;
  return connectionInfo_->id;
}

// ---- body ---------------------------------------------------------------------

void ASIHTTPRequest::appendPostData(const std::string& bytes) {
  std::lock_guard lock(fieldLock_);
  if (shouldStreamPostDataFromDisk) {
    if (!postBodyFilePath_) {
      postBodyFilePath_ = temporaryFilePath();
      didCreateTemporaryPostDataFile_ = true;
      std::ofstream(*postBodyFilePath_, std::ios::binary | std::ios::trunc);
    }
    if (bytes.empty()) return;
    std::ofstream(*postBodyFilePath_, std::ios::binary | std::ios::app) << bytes;
    return;
  }
  if (!postBody_) postBody_.emplace();
  postBody_->append(bytes);
}

void ASIHTTPRequest::appendPostDataFromFile(const std::string& path) {
  appendPostData("");
  std::ifstream in(path, std::ios::binary);
  std::string piece(kFileReadSize, '\0');
  while (in) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    const auto got = static_cast<size_t>(in.gcount());
    if (got == 0) break;
    appendPostData(piece.substr(0, got));
  }
}

void ASIHTTPRequest::buildPostBody() {
  if (haveBuiltPostBody_) return;
  std::optional<std::string> bodyFile;
  {
    std::lock_guard lock(fieldLock_);
    bodyFile = postBodyFilePath_;
    postLength_ = postBody_ ? postBody_->size() : 0;
  }
  if (bodyFile) {
    if (shouldCompressRequestBody) {
      const std::string compressed = temporaryFilePath();
      ASIErrorPtr compressError;
      if (!ASIDataCompressor::compressDataFromFile(*bodyFile, compressed, &compressError)) {
        failWithError(compressError);
        return;
      }
      std::lock_guard lock(fieldLock_);
      compressedPostBodyFilePath_ = compressed;
      bodyFile = compressed;
    }
    std::error_code failed;
    const auto size = std::filesystem::file_size(*bodyFile, failed);
    if (failed) {
      failWithError(ASIError::make(
          ASIFileManagementError,
          fmt::format("Failed to get attributes for file at path '{}'", *bodyFile)));
      return;
    }
    postLength_ = size;
  } else if (shouldCompressRequestBody) {
    ASIErrorPtr compressError;
    std::optional<std::string> compressed;
    {
      std::lock_guard lock(fieldLock_);
      compressed = ASIDataCompressor::compressData(postBody_.value_or(""), &compressError);
    }
    if (compressError) {
      failWithError(compressError);
      return;
    }
    compressedPostBody_ = compressed.value_or("");
    postLength_ = compressedPostBody_->size();
  }
  if (postLength_ > 0) {
    const std::string method = requestMethod();
    if (method == "GET" || method == "DELETE" || method == "HEAD") setRequestMethod("POST");
    addRequestHeader("Content-Length", fmt::format("{}", postLength_));
  }
  haveBuiltPostBody_ = true;
}

// ---- headers ------------------------------------------------------------------

void ASIHTTPRequest::buildRequestHeaders() {
  if (haveBuiltRequestHeaders_) return;
  haveBuiltRequestHeaders_ = true;
  if (const auto main = mainRequest_.lock()) {
    main->buildRequestHeaders();
    std::lock_guard lock(fieldLock_);
    requestHeaders_ = main->requestHeaders();
    return;
  }
  applyCookieHeader();
  updatePartialDownloadSize();
  std::lock_guard lock(fieldLock_);
  if (!requestHeaders_.contains("User-Agent")) {
    std::optional<std::string> agent = userAgentString_;
    if (!agent) agent = ASIHTTPRequestDefaults::defaultUserAgentString();
    if (agent) requestHeaders_.set("User-Agent", *agent);
  }
  if (allowCompressedResponse) requestHeaders_.set("Accept-Encoding", "gzip");
  if (shouldCompressRequestBody) requestHeaders_.set("Content-Encoding", "gzip");
  if (partialDownloadSize_ > 0) {
    requestHeaders_.set("Range", fmt::format("bytes={}-", partialDownloadSize_));
  }
}

void ASIHTTPRequest::applyCookieHeader() {
  const auto main = mainRequest_.lock();
  const std::vector<ASICookie> cookies = main ? main->requestCookies() : requestCookies();
  if (cookies.empty()) return;
  std::string header = cookies.front().name + "=" + cookies.front().value;
  for (size_t i = 1; i < cookies.size(); ++i) {
    header = fmt::format("{}; {}={}", header, cookies[i].name, cookies[i].value);
  }
  addRequestHeader("Cookie", header);
}

// ---- response body --------------------------------------------------------------

bool ASIHTTPRequest::isResponseCompressed() const {
  std::lock_guard lock(fieldLock_);
  if (!responseHeaders_) return false;
  const auto encoding = responseHeaders_->find("Content-Encoding");
  return encoding && encoding->find("gzip") != std::string::npos;
}

std::optional<std::string> ASIHTTPRequest::responseData() const {
  auto raw = rawResponseData();
  if (raw && isResponseCompressed() && shouldWaitToInflateCompressedResponses) {
    return ASIDataDecompressor::uncompressData(*raw);
  }
  return raw;
}

void ASIHTTPRequest::replaceResponseData(std::string bytes) {
  std::lock_guard lock(fieldLock_);
  rawResponseData_ = std::move(bytes);
}

void ASIHTTPRequest::removeResponseHeader(const std::string& name) {
  std::lock_guard lock(fieldLock_);
  if (responseHeaders_) responseHeaders_->remove(name);
}

void ASIHTTPRequest::showDownloadComplete() {
  postFraction(ProgressSlot::Download, contentLength_, contentLength_);
}

std::optional<std::string> ASIHTTPRequest::responseString() const {
  const auto data = responseData();
  if (!data) return std::nullopt;
  return decodeText(*data, responseEncoding_);
}

}  // namespace nb::http
