// A request with a download cache: answered from it before any traffic,
// asking the server whether the stored copy is still good, answered from it
// on a 304 or a failed load, and storing what it downloaded.

#include <mutex>

#include "http/cache/ASIDownloadCache.h"
#include "http/pool/ConnectionPool.h"
#include "http/request/ASIHTTPRequest.h"

namespace nb::http {

namespace {

std::mutex& defaultCacheLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<ASIDownloadCache>& defaultCacheSlot() {
  static std::shared_ptr<ASIDownloadCache> cache;
  return cache;
}

}  // namespace

std::shared_ptr<ASIHTTPRequest> ASIHTTPRequest::requestWithURL(
    const std::string& url, std::shared_ptr<ASIDownloadCache> cache, uint32_t policy) {
  auto request = requestWithURL(url);
  request->setDownloadCache(std::move(cache));
  request->cachePolicy = policy;
  return request;
}

void ASIHTTPRequest::setDefaultCache(std::shared_ptr<ASIDownloadCache> cache) {
  std::lock_guard lock(defaultCacheLock());
  defaultCacheSlot() = std::move(cache);
}

std::shared_ptr<ASIDownloadCache> ASIHTTPRequest::defaultCache() {
  std::lock_guard lock(defaultCacheLock());
  return defaultCacheSlot();
}

void ASIHTTPRequest::setDownloadCache(std::shared_ptr<ASIDownloadCache> cache) {
  std::lock_guard lock(fieldLock_);
  downloadCache_ = std::move(cache);
}

std::shared_ptr<ASIDownloadCache> ASIHTTPRequest::downloadCache() const {
  std::lock_guard lock(fieldLock_);
  return downloadCache_;
}

// Before the message goes out. Answers true when the cache answered.
bool ASIHTTPRequest::answerFromCacheAtStart() {
  auto cache = downloadCache();
  if (!cache) return false;
  if (requestMethod() != "GET") {
    setDownloadCache(nullptr);
    return false;
  }
  if (cachePolicy == ASIUseDefaultCachePolicy) cachePolicy = cache->defaultCachePolicy();
  if (cache->canUseCachedDataForRequest(*this)) {
    useDataFromCache();
    return true;
  }
  if ((cachePolicy & (ASIAskServerIfModifiedWhenStaleCachePolicy |
                      ASIAskServerIfModifiedCachePolicy)) != 0) {
    if (const auto stored = cache->cachedResponseHeadersForURL(url())) {
      if (const auto etag = stored->find("Etag")) addRequestHeader("If-None-Match", *etag);
      if (const auto modified = stored->find("Last-Modified")) {
        addRequestHeader("If-Modified-Since", *modified);
      }
    }
  }
  return false;
}

// Once the head arrived: a 304, or a copy that is still current, ends the
// transfer and answers from the cache.
bool ASIHTTPRequest::answerFromCacheAtHead() {
  auto cache = downloadCache();
  if (!cache || didUseCachedResponse_ || !cache->canUseCachedDataForRequest(*this)) return false;
  cache->updateExpiryForRequest(*this, secondsToCache);
  useDataFromCache();
  return true;
}

bool ASIHTTPRequest::answerFromCacheOnFailure(const ASIErrorPtr& theError) {
  auto cache = downloadCache();
  if (!cache || cancelled_ || error() || (cachePolicy & ASIFallbackToCacheIfLoadFailsCachePolicy) == 0 ||
      (theError && theError->code() == ASIRequestCancelledErrorType)) {
    return false;
  }
  complete_ = true;
  if (!cache->canUseCachedDataForRequest(*this)) return false;
  useDataFromCache();
  return true;
}

void ASIHTTPRequest::storeInCache() {
  auto cache = downloadCache();
  if (cache && !didUseCachedResponse_) cache->storeResponseForRequest(*this, secondsToCache);
}

void ASIHTTPRequest::useDataFromCache() {
  const auto self = shared_from_this();
  const auto cache = downloadCache();
  const std::string address = url();
  const auto headers = cache ? cache->cachedResponseHeadersForURL(address) : std::nullopt;
  const auto bodyPath = cache ? cache->pathToCachedResponseDataForURL(address) : std::nullopt;
  // A transfer under way gives up its connection: the rest of its answer is
  // never read.
  if (readStreamIsScheduled_) {
    {
      std::lock_guard lock(ConnectionPool::connectionsLock());
      ConnectionPool::shared().removeEntry(connectionInfo_);
    }
    setStatusTimer(false);
    destroyReadStream();
  }
  if (headers && bodyPath) {
    responseStatusCode_ = std::atoi(headers->find(ASIDownloadCache::kStatusHeader).value_or("0").c_str());
    didUseCachedResponse_ = true;
    const uint64_t length = std::strtoull(headers->find("Content-Length").value_or("0").c_str(), nullptr, 10);
    {
      std::lock_guard lock(fieldLock_);
      responseHeaders_ = headers;
      if (downloadDestinationPath_) {
        downloadDestinationPath_ = bodyPath;
      } else {
        rawResponseData_ = cache->cachedResponseDataForURL(address).value_or("");
      }
    }
    pendingHeaders_ = *headers;
    parseStringEncodingFromHeaders();
    contentLength_ = length;
    totalBytesRead_ = length;
  }
  complete_ = true;
  downloadComplete_ = true;
  {
    std::lock_guard lock(fieldLock_);
    if (redirectCount_ == 0) originalURL_ = address;
  }
  updateProgressIndicators();
  requestFinished();
  markAsFinished();
}

}  // namespace nb::http
