#pragma once
// Responses of GET requests kept on disk: one headers file and one body file
// per URL, in a store for this session and a permanent one, with the
// policies by which a request is answered from them, asks the server whether
// its copy is still good, or stores what it downloaded.
//
// Every folder operation of one cache runs under its own recursive lock;
// requests on any thread may share a cache. Folder problems throw
// ASICacheException; a copy that cannot be read counts as no copy.

#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/HttpHeaders.h"

namespace nb::http {

class ASIHTTPRequest;

enum ASICachePolicy : uint32_t {
  ASIUseDefaultCachePolicy = 0,
  ASIDoNotReadFromCacheCachePolicy = 1,
  ASIDoNotWriteToCacheCachePolicy = 2,
  ASIAskServerIfModifiedWhenStaleCachePolicy = 4,
  ASIAskServerIfModifiedCachePolicy = 8,
  ASIOnlyLoadIfNotCachedCachePolicy = 16,
  ASIDontLoadCachePolicy = 32,
  ASIFallbackToCacheIfLoadFailsCachePolicy = 64,
};

enum ASICacheStoragePolicy : int {
  ASICacheForSessionDurationCacheStoragePolicy = 0,
  ASICachePermanentlyCacheStoragePolicy = 1,
};

// A named failure of the cache's folders ("FileExistsAtCachePath", ...).
class ASICacheException : public std::runtime_error {
 public:
  ASICacheException(std::string name, const std::string& reason)
      : std::runtime_error(reason), name_(std::move(name)) {}
  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

class ASIDownloadCache {
 public:
  static constexpr const char* kExpiresHeader = "X-ASIHTTPRequest-Expires";
  static constexpr const char* kStatusHeader = "X-ASIHTTPRequest-Response-Status-Code";

  ASIDownloadCache() = default;
  ASIDownloadCache(const ASIDownloadCache&) = delete;
  ASIDownloadCache& operator=(const ASIDownloadCache&) = delete;

  // Made on first use in "ASIHTTPRequestCache" under the user's cache
  // folder; nothing (logged) when that folder cannot be made.
  static std::shared_ptr<ASIDownloadCache> sharedCache();
  // MD5 of the URL text less one trailing "/", 32 upper-case hex digits;
  // nothing for an empty URL.
  static std::optional<std::string> keyForURL(const std::string& url);
  // The body file's extension: "html" without one or for server pages.
  static std::string fileExtensionForURL(const std::string& url);
  static bool serverAllowsResponseCachingForRequest(const ASIHTTPRequest& request);

  uint32_t defaultCachePolicy() const;
  // 0 stores the standard default (ask the server when stale).
  void setDefaultCachePolicy(uint32_t policy);
  std::optional<std::string> storagePath() const;
  // Empties the old path's session store, makes the folders, empties the new
  // path's session store. Throws ASICacheException.
  void setStoragePath(const std::string& path);
  bool shouldRespectCacheControlHeaders() const;
  void setShouldRespectCacheControlHeaders(bool respect);

  std::optional<std::time_t> expiryDateForRequest(const ASIHTTPRequest& request, double maxAge);
  void updateExpiryForRequest(const ASIHTTPRequest& request, double maxAge);
  bool canUseCachedDataForRequest(const ASIHTTPRequest& request);
  void removeCachedDataForRequest(const ASIHTTPRequest& request);
  bool isCachedDataCurrentForRequest(const ASIHTTPRequest& request);
  // Body first, then headers, each written whole under its final name; when
  // either write fails nothing of the response stays.
  void storeResponseForRequest(const ASIHTTPRequest& request, double maxAge);
  void removeCachedDataForURL(const std::string& url);
  std::optional<platform::HttpHeaders> cachedResponseHeadersForURL(const std::string& url);
  std::optional<std::string> cachedResponseDataForURL(const std::string& url);
  std::optional<std::string> pathToCachedResponseDataForURL(const std::string& url);
  std::optional<std::string> pathToCachedResponseHeadersForURL(const std::string& url);
  std::optional<std::string> pathToStoreCachedResponseHeadersForRequest(
      const ASIHTTPRequest& request);
  std::optional<std::string> pathToStoreCachedResponseDataForRequest(const ASIHTTPRequest& request);
  // Throws ASICacheException.
  void clearCachedResponsesForStoragePolicy(int storagePolicy);

 private:
  std::optional<std::string> pathToFile(const std::string& name);
  std::optional<std::string> pathToStore(const ASIHTTPRequest& request, const std::string& name);
  bool writeHeaders(const std::string& path, const platform::HttpHeaders& headers);
  void clearLocked(int storagePolicy);

  mutable std::recursive_mutex accessLock_;
  std::optional<std::string> storagePath_;  // guarded by accessLock_
  uint32_t defaultCachePolicy_ = ASIAskServerIfModifiedWhenStaleCachePolicy;
  bool shouldRespectCacheControlHeaders_ = true;
};

}  // namespace nb::http
