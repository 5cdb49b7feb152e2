#include "http/cache/ASIDownloadCache.h"

#include <fmt/format.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

#include "foundation/json/Json.h"
#include "foundation/json/JsonValue.h"
#include "http/request/ASIHTTPRequest.h"
#include "http/shared/ContentType.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/XdgDirs.h"

namespace nb::http {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSessionStore = "SessionStore";
constexpr const char* kPermanentStore = "PermanentStore";
constexpr std::array<const char*, 8> kHandledAsHTML = {"asp", "aspx", "jsp", "php",
                                                        "rb",  "py",   "pl",  "cgi"};

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::optional<std::string> md5Hex(std::string_view bytes) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_md5(), nullptr) != 1) {
    return std::nullopt;
  }
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) hex += fmt::format("{:02X}", digest[i]);
  return hex;
}

std::optional<platform::HttpHeaders> readHeadersFile(const std::string& path) {
  const auto bytes = platform::readWholeFile(path);
  if (!bytes) return std::nullopt;
  const auto object = dictionaryFromData(*bytes);
  if (!object || !object->isObject()) return std::nullopt;
  platform::HttpHeaders headers;
  for (const auto& member : object->members()) {
    headers.add(member.key(), member.value().toText());
  }
  return headers;
}

bool bitSet(uint32_t policy, uint32_t bit) { return (policy & bit) != 0; }

}  // namespace

// ---- class-wide -------------------------------------------------------------------

std::shared_ptr<ASIDownloadCache> ASIDownloadCache::sharedCache() {
  static std::mutex lock;
  static std::shared_ptr<ASIDownloadCache> shared;
  std::lock_guard guard(lock);
  if (shared) return shared;
  auto made = std::make_shared<ASIDownloadCache>();
  const fs::path folder = fs::path(platform::cacheHome()) / "nubren";
  std::error_code ignored;
  fs::create_directories(folder, ignored);
  try {
    made->setStoragePath((folder / "ASIHTTPRequestCache").string());
  } catch (const ASICacheException& e) {
    NBLOG_ERROR("no shared download cache: {}: {}", e.name(), e.what());
    return nullptr;
  }
  shared = std::move(made);
  return shared;
}

std::optional<std::string> ASIDownloadCache::keyForURL(const std::string& url) {
  if (url.empty()) return std::nullopt;
  std::string text = url;
  if (text.ends_with('/')) text.pop_back();
  return md5Hex(text);
}

std::string ASIDownloadCache::fileExtensionForURL(const std::string& url) {
  // The path: after the authority, before any query or fragment.
  std::string path = url;
  if (const size_t query = path.find_first_of("?#"); query != std::string::npos) path.resize(query);
  if (const size_t scheme = path.find("://"); scheme != std::string::npos) {
    const size_t slash = path.find('/', scheme + 3);
    path = slash == std::string::npos ? "" : path.substr(slash);
  }
  const std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot + 1 == name.size()) return "html";
  const std::string extension = name.substr(dot + 1);
  const std::string lower = lowered(extension);
  const bool page = std::any_of(kHandledAsHTML.begin(), kHandledAsHTML.end(),
                                [&](const char* known) { return lower == known; });
  return page ? "html" : extension;
}

bool ASIDownloadCache::serverAllowsResponseCachingForRequest(const ASIHTTPRequest& request) {
  const auto headers = request.responseHeaders().value_or(platform::HttpHeaders{});
  const std::string control = lowered(headers.find("Cache-Control").value_or(""));
  if (control == "no-cache" || control == "no-store") return false;
  return lowered(headers.find("Pragma").value_or("")) != "no-cache";
}

// ---- settings ---------------------------------------------------------------------

uint32_t ASIDownloadCache::defaultCachePolicy() const {
  std::lock_guard lock(accessLock_);
  return defaultCachePolicy_;
}

void ASIDownloadCache::setDefaultCachePolicy(uint32_t policy) {
  std::lock_guard lock(accessLock_);
  defaultCachePolicy_ = policy == 0 ? ASIAskServerIfModifiedWhenStaleCachePolicy : policy;
}

std::optional<std::string> ASIDownloadCache::storagePath() const {
  std::lock_guard lock(accessLock_);
  return storagePath_;
}

bool ASIDownloadCache::shouldRespectCacheControlHeaders() const {
  std::lock_guard lock(accessLock_);
  return shouldRespectCacheControlHeaders_;
}

void ASIDownloadCache::setShouldRespectCacheControlHeaders(bool respect) {
  std::lock_guard lock(accessLock_);
  shouldRespectCacheControlHeaders_ = respect;
}

void ASIDownloadCache::setStoragePath(const std::string& path) {
  std::lock_guard lock(accessLock_);
  clearLocked(ASICacheForSessionDurationCacheStoragePolicy);
  storagePath_ = path;
  for (const fs::path& folder : {fs::path(path), fs::path(path) / kSessionStore,
                                fs::path(path) / kPermanentStore}) {
    std::error_code failure;
    const auto status = fs::status(folder, failure);
    if (fs::exists(status) && !fs::is_directory(status)) {
      throw ASICacheException(
          "FileExistsAtCachePath",
          fmt::format("Cannot create a directory for the cache at '{}', because a file already exists",
                      folder.string()));
    }
    if (!fs::exists(status)) fs::create_directory(folder, failure);
    if (!fs::is_directory(folder, failure)) {
      throw ASICacheException(
          "FailedToCreateCacheDirectory",
          fmt::format("Failed to create a directory for the cache at '{}'", folder.string()));
    }
  }
  clearLocked(ASICacheForSessionDurationCacheStoragePolicy);
}

// ---- paths ------------------------------------------------------------------------

std::optional<std::string> ASIDownloadCache::pathToFile(const std::string& name) {
  std::lock_guard lock(accessLock_);
  if (!storagePath_) return std::nullopt;
  for (const char* store : {kSessionStore, kPermanentStore}) {
    const fs::path candidate = fs::path(*storagePath_) / store / name;
    std::error_code ignored;
    if (fs::exists(candidate, ignored)) return candidate.string();
  }
  return std::nullopt;
}

std::optional<std::string> ASIDownloadCache::pathToStore(const ASIHTTPRequest& request,
                                                         const std::string& name) {
  std::lock_guard lock(accessLock_);
  if (!storagePath_) return std::nullopt;
  const char* store = request.cacheStoragePolicy == ASICacheForSessionDurationCacheStoragePolicy
                          ? kSessionStore
                          : kPermanentStore;
  return (fs::path(*storagePath_) / store / name).string();
}

std::optional<std::string> ASIDownloadCache::pathToCachedResponseHeadersForURL(const std::string& url) {
  const auto key = keyForURL(url);
  return key ? pathToFile(*key + ".cachedheaders") : std::nullopt;
}

std::optional<std::string> ASIDownloadCache::pathToCachedResponseDataForURL(const std::string& url) {
  const auto key = keyForURL(url);
  return key ? pathToFile(*key + "." + fileExtensionForURL(url)) : std::nullopt;
}

std::optional<std::string> ASIDownloadCache::pathToStoreCachedResponseHeadersForRequest(
    const ASIHTTPRequest& request) {
  const auto key = keyForURL(request.url());
  return key ? pathToStore(request, *key + ".cachedheaders") : std::nullopt;
}

std::optional<std::string> ASIDownloadCache::pathToStoreCachedResponseDataForRequest(
    const ASIHTTPRequest& request) {
  const std::string url = request.url();
  const auto key = keyForURL(url);
  return key ? pathToStore(request, *key + "." + fileExtensionForURL(url)) : std::nullopt;
}

std::optional<platform::HttpHeaders> ASIDownloadCache::cachedResponseHeadersForURL(
    const std::string& url) {
  const auto path = pathToCachedResponseHeadersForURL(url);
  return path ? readHeadersFile(*path) : std::nullopt;
}

std::optional<std::string> ASIDownloadCache::cachedResponseDataForURL(const std::string& url) {
  const auto path = pathToCachedResponseDataForURL(url);
  return path ? platform::readWholeFile(*path) : std::nullopt;
}

// ---- expiry -----------------------------------------------------------------------

std::optional<std::time_t> ASIDownloadCache::expiryDateForRequest(const ASIHTTPRequest& request,
                                                                  double maxAge) {
  return expiryDateForResponse(request.responseHeaders().value_or(platform::HttpHeaders{}), maxAge,
                               std::time(nullptr));
}

bool ASIDownloadCache::writeHeaders(const std::string& path, const platform::HttpHeaders& headers) {
  JsonObjectBuilder object;
  for (const auto& [name, value] : headers.fields()) {
    if (name == kExpiresHeader) {
      object.set(name, JsonValue(std::strtod(value.c_str(), nullptr)));
    } else if (name == kStatusHeader) {
      object.set(name, JsonValue(static_cast<int64_t>(std::strtoll(value.c_str(), nullptr, 10))));
    } else {
      object.set(name, JsonValue(value));
    }
  }
  const auto text = JSONString(object.build());
  return text && platform::writeFileAtomically(path, *text);
}

void ASIDownloadCache::updateExpiryForRequest(const ASIHTTPRequest& request, double maxAge) {
  const auto path = pathToStoreCachedResponseHeadersForRequest(request);
  if (!path) return;
  auto headers = readHeadersFile(*path);
  const auto expires = expiryDateForRequest(request, maxAge);
  if (!headers || !expires) return;
  headers->set(kExpiresHeader, fmt::format("{}", static_cast<double>(*expires)));
  writeHeaders(*path, *headers);
}

// ---- deciding -----------------------------------------------------------------------

bool ASIDownloadCache::isCachedDataCurrentForRequest(const ASIHTTPRequest& request) {
  std::lock_guard lock(accessLock_);
  if (!storagePath_) return false;
  const std::string url = request.url();
  const auto stored = cachedResponseHeadersForURL(url);
  if (!stored || !pathToCachedResponseDataForURL(url)) return false;
  if (request.responseStatusCode() == 304) return true;
  if (const auto received = request.responseHeaders(); received && request.complete()) {
    for (const char* name : {"Etag", "Last-Modified"}) {
      const auto value = received->find(name);
      if (!value || value != stored->find(name)) return false;
    }
  }
  if (shouldRespectCacheControlHeaders_) {
    const auto expires = stored->find(kExpiresHeader);
    if (!expires) return false;
    if (std::strtod(expires->c_str(), nullptr) < static_cast<double>(std::time(nullptr))) {
      return false;
    }
  }
  return true;
}

bool ASIDownloadCache::canUseCachedDataForRequest(const ASIHTTPRequest& request) {
  const uint32_t policy = request.cachePolicy;
  if (bitSet(policy, ASIDoNotReadFromCacheCachePolicy)) return false;
  if (bitSet(policy, ASIDontLoadCachePolicy)) return true;
  const std::string url = request.url();
  if (!cachedResponseHeadersForURL(url) || !pathToCachedResponseDataForURL(url)) return false;
  if (bitSet(policy, ASIOnlyLoadIfNotCachedCachePolicy)) return true;
  if (request.complete() && bitSet(policy, ASIFallbackToCacheIfLoadFailsCachePolicy)) return true;
  if (!bitSet(policy, ASIAskServerIfModifiedWhenStaleCachePolicy) &&
      !(bitSet(policy, ASIAskServerIfModifiedCachePolicy) && request.responseHeaders())) {
    return false;
  }
  return isCachedDataCurrentForRequest(request);
}

// ---- storing and removing ------------------------------------------------------------

void ASIDownloadCache::storeResponseForRequest(const ASIHTTPRequest& request, double maxAge) {
  std::lock_guard lock(accessLock_);
  auto headers = request.responseHeaders();
  if (request.error() || !headers || bitSet(request.cachePolicy, ASIDoNotWriteToCacheCachePolicy)) {
    return;
  }
  const int status = request.responseStatusCode();
  if (status != 200 && status != 301 && status != 302 && status != 303 && status != 307) return;
  if (shouldRespectCacheControlHeaders_ && !serverAllowsResponseCachingForRequest(request)) return;
  const auto headersPath = pathToStoreCachedResponseHeadersForRequest(request);
  const auto dataPath = pathToStoreCachedResponseDataForRequest(request);
  if (!headersPath || !dataPath) return;
  if (request.isResponseCompressed()) headers->remove("Content-Encoding");
  if (const auto expires = expiryDateForRequest(request, maxAge)) {
    headers->set(kExpiresHeader, fmt::format("{}", static_cast<double>(*expires)));
  }
  headers->set(kStatusHeader, std::to_string(status));
  // A copy of another URL's response under this key, or an older one, must
  // not survive beside a failed write.
  bool bodyWritten = true;
  const auto download = request.downloadDestinationPath();
  if (!download) {
    bodyWritten = platform::writeFileAtomically(*dataPath, request.responseData().value_or(""));
  } else if (*download != *dataPath) {
    const auto bytes = platform::readWholeFile(*download);
    bodyWritten = bytes && platform::writeFileAtomically(*dataPath, *bytes);
  }
  if (!bodyWritten || !writeHeaders(*headersPath, *headers)) {
    NBLOG_WARN("a response could not be stored in the download cache");
    std::error_code ignored;
    fs::remove(*headersPath, ignored);
    fs::remove(*dataPath, ignored);
  }
}

void ASIDownloadCache::removeCachedDataForURL(const std::string& url) {
  std::lock_guard lock(accessLock_);
  if (!storagePath_) return;
  for (const auto& path : {pathToCachedResponseHeadersForURL(url), pathToCachedResponseDataForURL(url)}) {
    std::error_code ignored;
    if (path) fs::remove(*path, ignored);
  }
}

void ASIDownloadCache::removeCachedDataForRequest(const ASIHTTPRequest& request) {
  removeCachedDataForURL(request.url());
}

void ASIDownloadCache::clearCachedResponsesForStoragePolicy(int storagePolicy) {
  std::lock_guard lock(accessLock_);
  clearLocked(storagePolicy);
}

void ASIDownloadCache::clearLocked(int storagePolicy) {
  if (!storagePath_) return;
  const fs::path store = fs::path(*storagePath_) /
                         (storagePolicy == ASICacheForSessionDurationCacheStoragePolicy
                              ? kSessionStore
                              : kPermanentStore);
  std::error_code failure;
  if (!fs::is_directory(store, failure)) return;
  fs::directory_iterator entries(store, failure);
  if (failure) {
    throw ASICacheException("FailedToTraverseCacheDirectory",
                            fmt::format("Listing cache directory failed at path '{}'", store.string()));
  }
  for (const auto& entry : entries) {
    if (fs::remove_all(entry.path(), failure) == static_cast<std::uintmax_t>(-1) || failure) {
      throw ASICacheException(
          "FailedToRemoveCacheFile",
          fmt::format("Failed to remove cached data at path '{}'", store.string()));
    }
  }
}

}  // namespace nb::http
