// The page's own end, its resource queue, the delegate relay and the
// rewrite of style sheets. HTML parsing and rewriting are in
// ASIWebPageRequestHtml.cpp.

#include "http/webpage/ASIWebPageRequest.h"
#include "http/webpage/ASIWebPageRelay.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "foundation/text/StringHelpers.h"
#include "http/cache/ASIDownloadCache.h"
#include "http/engine/CurlUrl.h"
#include "http/engine/NetworkThread.h"
#include "http/text/TextEncoding.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/XdgDirs.h"

namespace nb::http {

namespace fs = std::filesystem;

namespace {


std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string trimmed(std::string_view text, bool (*drop)(char)) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && drop(text[begin])) ++begin;
  while (end > begin && drop(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::string withoutFragment(const std::string& url) { return url.substr(0, url.find('#')); }

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

bool sameOrigin(const std::string& a, const std::string& b) {
  const auto left = parseHttpUrl(a);
  const auto right = parseHttpUrl(b);
  return left && right && lower(left->scheme) == lower(right->scheme) &&
         lower(left->host) == lower(right->host) && left->port == right->port;
}

}  // namespace

// ---- making and configuring ------------------------------------------------------------------

std::shared_ptr<ASIWebPageRequest> ASIWebPageRequest::requestWithURL(const std::string& url) {
  return std::shared_ptr<ASIWebPageRequest>(new ASIWebPageRequest(url));
}

ASIWebPageRequest::ASIWebPageRequest(const std::string& url)
    : ASIHTTPRequest(url), relay_(std::make_unique<Relay>(*this)) {}

ASIWebPageRequest::~ASIWebPageRequest() {
  if (externalResourceQueue_) {
    externalResourceQueue_->delegate = nullptr;
    externalResourceQueue_->cancelAllOperations();
  }
  if (doc_) {
    std::lock_guard lock(xmlParsingLock());
    releaseDocument();
  }
}

std::shared_ptr<ASIWebPageRequest> ASIWebPageRequest::self() {
  return std::static_pointer_cast<ASIWebPageRequest>(shared_from_this());
}

void ASIWebPageRequest::setParentRequest(std::shared_ptr<ASIWebPageRequest> parent) {
  std::lock_guard lock(fieldsLock_);
  parentRequest_ = std::move(parent);
}

std::shared_ptr<ASIWebPageRequest> ASIWebPageRequest::parentRequest() const {
  std::lock_guard lock(fieldsLock_);
  return parentRequest_;
}

std::shared_ptr<ASINetworkQueue> ASIWebPageRequest::externalResourceQueue() const {
  return externalResourceQueue_;
}

std::map<std::string, ASIWebPageRequest::Resource> ASIWebPageRequest::resourceList() const {
  std::lock_guard lock(fieldsLock_);
  return resourceList_;
}

// ---- the page's own end ----------------------------------------------------------------------

// On the request's thread under its lock. The page stays open (a cancel
// still fails it) until its resources are in.
void ASIWebPageRequest::requestFinished() {
  setCompleteFlag(false);
  if (isHeadCompanion() || didUseCachedResponse()) return finishNormally();
  const auto headers = responseHeaders();
  std::string type = lower(headers ? headers->find("Content-Type").value_or("") : "");
  type = type.substr(0, type.find(';'));
  ASIErrorPtr failure;
  if (type == "text/html" || type == "text/xhtml" || type == "text/xhtml+xml" ||
      type == "application/xhtml+xml") {
    failure = parseAsHTML();
  } else if (type == "text/css") {
    failure = parseAsCSS();
  } else {
    return finishNormally();
  }
  if (failure) return failWithError(failure);
  if (resourceList().empty()) return finishNormally();
  platform::MainThread::post([page = self()] { page->fetchExternalResources(); });
}

void ASIWebPageRequest::finishNormally() {
  readyToEnd_ = true;
  // Closed again, or a later cancel would report a failure after the success.
  setCompleteFlag(true);
  ASIHTTPRequest::requestFinished();
}

void ASIWebPageRequest::markAsFinished() {
  if (!error() && !readyToEnd_) return;
  if (ended_.exchange(true)) return;
  ASIHTTPRequest::markAsFinished();
}

// The page's text: the download file read in the response's encoding, else
// the response text.
std::optional<std::string> ASIWebPageRequest::pageText(ASIErrorPtr* readError) const {
  const auto path = downloadDestinationPath();
  if (!path) return responseString();
  const auto bytes = readFile(*path);
  if (!bytes) {
    if (readError != nullptr) {
      *readError = ASIError::make(ASIFileManagementError, "Unable to read file at path " + *path);
    }
    return std::nullopt;
  }
  return decodeText(*bytes, responseEncoding());
}

ASIErrorPtr ASIWebPageRequest::parseAsCSS() {
  webContentType_ = CSSContent;
  ASIErrorPtr readError;
  const auto text = pageText(&readError);
  if (!text) {
    return ASIError::make(ASIUnableToReadHTMLErrorType, "Unable to read HTML string from response",
                          std::nullopt, readError);
  }
  for (const std::string& reference : CSSURLsFromString(*text)) addURLToFetch(reference);
  return nullptr;
}

// ---- references --------------------------------------------------------------------------------

bool ASIWebPageRequest::isPageOrAncestor(const std::string& resolved) const {
  const std::string target = withoutFragment(resolved);
  if (withoutFragment(url()) == target) return true;
  for (auto page = parentRequest(); page; page = page->parentRequest()) {
    if (withoutFragment(page->url()) == target) return true;
  }
  return false;
}

void ASIWebPageRequest::addURLToFetch(const std::string& text) {
  const std::string reference = trimmed(text, isSpace);
  if (reference.size() < 5 || lower(reference.substr(0, 5)) == "data:") return;
  const std::string base = url();
  // A bare fragment names the page itself, however the resolver reads it.
  const auto resolved =
      reference.front() == '#' ? std::optional(withoutFragment(base) + reference) : resolveUrl(base, reference);
  if (!resolved) return;
  // Nothing but http and https is fetched: a file: reference is never read.
  if (!parseHttpUrl(*resolved)) return;
  if (isPageOrAncestor(*resolved)) return;
  std::lock_guard lock(fieldsLock_);
  resourceList_.try_emplace(reference);
}

std::vector<std::string> ASIWebPageRequest::CSSURLsFromString(std::string_view text) {
  std::vector<std::string> found;
  const std::string folded = lower(text);
  size_t at = 0;
  while (true) {
    const size_t open = folded.find("url(", at);
    if (open == std::string::npos) break;
    const size_t begin = open + 4;
    const size_t close = folded.find(')', begin);
    const size_t end = close == std::string::npos ? text.size() : close;
    if (end == begin) break;
    std::string taken = trimmed(text.substr(begin, end - begin), isSpace);
    taken = trimmed(taken, [](char c) { return c == '"' || c == '\''; });
    found.push_back(trimmed(taken, isSpace));
    if (close == std::string::npos) break;
    at = close + 1;
  }
  return found;
}

std::optional<std::string> ASIWebPageRequest::encodingName() const {
  static const std::map<std::string, std::string> kLibxmlNames = {
      {"us-ascii", "ASCII"},       {"utf-8", "UTF-8"},         {"iso-8859-1", "ISO-8859-1"},
      {"iso-8859-2", "ISO-8859-2"}, {"euc-jp", "EUC-JP"},       {"shift_jis", "Shift-JIS"},
      {"iso-2022-jp", "ISO-2022-JP"}, {"utf-16be", "UTF-16BE"}, {"utf-16le", "UTF-16LE"},
      {"utf-32be", "ISO-10646-UCS-4"}, {"utf-32le", "ISO-10646-UCS-4"},
  };
  const auto name = IANACharSetNameOfEncoding(responseEncoding());
  if (!name) return std::nullopt;
  const auto found = kLibxmlNames.find(lower(*name));
  if (found == kLibxmlNames.end()) return std::nullopt;
  return found->second;
}

// ---- fetching the resources (main thread) -----------------------------------------------------

void ASIWebPageRequest::fetchExternalResources() {
  if (externalResourceQueue_) {
    externalResourceQueue_->delegate = nullptr;
    externalResourceQueue_->cancelAllOperations();
  }
  auto queue = ASINetworkQueue::queue();
  queue->delegate = relay_.get();
  queue->shouldCancelAllRequestsOnFailure = shouldIgnoreExternalResourceErrors;
  queue->showAccurateProgress = showAccurateProgress;
  queue->requestDidFinishSelector = webpage::kSucceeded;
  queue->requestDidFailSelector = webpage::kFailed;
  queue->queueDidFinishSelector = webpage::kAllDone;
  externalResourceQueue_ = queue;
  for (const auto& [reference, entry] : resourceList()) queue->addOperation(makeChild(reference));
  queue->go();
}

std::shared_ptr<ASIWebPageRequest> ASIWebPageRequest::makeChild(const std::string& reference) {
  const std::string base = url();
  const std::string address =
      reference.front() == '#' ? withoutFragment(base) + reference : resolveUrl(base, reference).value_or("");
  auto child = requestWithURL(address);
  const RequestHeaderList headers = requestHeaders();
  for (const auto& [name, value] : headers.fields()) {
    // Credentials and cookies stay with the page's own server.
    if ((name == "Authorization" || name == "Cookie") && !sameOrigin(base, address)) continue;
    child->addRequestHeader(name, value);
  }
  child->setDownloadCache(downloadCache());
  child->cachePolicy = cachePolicy;
  child->cacheStoragePolicy = cacheStoragePolicy;
  child->userInfo["Path"] = reference;
  child->setParentRequest(self());
  child->urlReplacementMode = urlReplacementMode;
  child->shouldResetDownloadProgress = false;
  child->setDelegate(relay_.get());
  child->setUploadProgressDelegate(relay_.get());
  child->setDownloadProgressDelegate(relay_.get());
  if (downloadDestinationPath()) child->setDownloadDestinationPath(cachePathForRequest(*child));
  return child;
}

void ASIWebPageRequest::externalResourceFetchSucceeded(ASIHTTPRequest& child) {
  const auto* page = dynamic_cast<ASIWebPageRequest*>(&child);
  if (page == nullptr || !page->userInfo.contains("Path")) return;
  const auto headers = child.responseHeaders();
  Resource entry;
  entry.contentType =
      headers ? headers->find("Content-Type").value_or("application/octet-stream") : "application/octet-stream";
  if (downloadDestinationPath()) {
    entry.dataPath = child.downloadDestinationPath();
  } else {
    entry.data = child.responseData();
  }
  std::lock_guard lock(fieldsLock_);
  resourceList_[page->userInfo.at("Path")] = std::move(entry);
}

void ASIWebPageRequest::externalResourceFetchFailed(ASIHTTPRequest& child) {
  if (!externalResourceQueue_ || !externalResourceQueue_->shouldCancelAllRequestsOnFailure) return;
  resourceFailed_ = true;
  NetworkThread::driver().post([page = self(), failure = child.error()] {
    std::lock_guard lock(page->requestLock());
    page->failWithError(failure);
  });
}

void ASIWebPageRequest::finishedFetchingExternalResources() {
  ASIErrorPtr failure;
  if (urlReplacementMode != ASIDontModifyURLs && webContentType_ == CSSContent) {
    failure = rewriteCSS();
  } else if (webContentType_ == HTMLContent) {
    std::lock_guard lock(xmlParsingLock());
    if (urlReplacementMode != ASIDontModifyURLs) {
      failure = updateResourceURLs();
      if (!failure && !resourceFailed_ && !error()) failure = saveDocument();
    }
    releaseDocument();
  }
  if (!parentRequest()) showDownloadComplete();
  dropContentEncoding();
  const auto cache = downloadCache();
  if (urlReplacementMode != ASIDontModifyURLs && cache && !failure) {
    cache->storeResponseForRequest(*this, secondsToCache);
  }
  NetworkThread::driver().post([page = self(), failure] { page->endAfterResources(failure); });
}

// On the network thread, after any failure a resource posted before.
void ASIWebPageRequest::endAfterResources(const ASIErrorPtr& failure) {
  std::lock_guard lock(requestLock());
  if (failure) {
    failWithError(failure);
  } else if (!error()) {
    finishNormally();
  }
  readyToEnd_ = true;
  markAsFinished();
}

ASIErrorPtr ASIWebPageRequest::rewriteCSS() {
  auto text = pageText(nullptr);
  if (!text) {
    return ASIError::make(ASIUnableToParseXMLErrorType, "Error: unable to read response CSS from disk");
  }
  if (!resourceFailed_ && !error()) {
    for (const auto& [reference, entry] : resourceList()) {
      if (text->find(reference) == std::string::npos) continue;
      if (const auto replacement = contentForExternalURL(reference)) replaceAll(*text, reference, *replacement);
    }
  }
  const auto bytes = encodeText(*text, responseEncoding());
  if (const auto path = downloadDestinationPath()) {
    if (!bytes || !writeFile(*path, *bytes)) {
      return ASIError::make(ASIUnableToParseXMLErrorType, "Error: unable to write response CSS to disk");
    }
    return nullptr;
  }
  removeResponseHeader("Content-Encoding");
  replaceResponseData(bytes.value_or(*text));
  return nullptr;
}

// A body kept in memory is inflated before the header that says it is
// compressed goes.
void ASIWebPageRequest::dropContentEncoding() {
  if (!downloadDestinationPath() && isResponseCompressed()) {
    if (const auto inflated = responseData()) replaceResponseData(*inflated);
  }
  removeResponseHeader("Content-Encoding");
}

// ---- replacements ----------------------------------------------------------------------------

std::optional<std::string> ASIWebPageRequest::contentForExternalURL(const std::string& reference) const {
  Resource entry;
  {
    std::lock_guard lock(fieldsLock_);
    const auto found = resourceList_.find(reference);
    if (found == resourceList_.end()) return std::nullopt;
    entry = found->second;
  }
  if (urlReplacementMode == ASIReplaceExternalResourcesWithLocalURLs) {
    const auto pagePath = downloadDestinationPath();
    if (!entry.dataPath || !pagePath) return std::nullopt;
    return relativePathTo(*entry.dataPath, *pagePath);
  }
  const auto bytes = entry.dataPath ? readFile(*entry.dataPath) : entry.data;
  if (!bytes || entry.contentType.empty()) return std::nullopt;
  return "data:" + entry.contentType + ";base64," + base64forData(*bytes);
}

std::string ASIWebPageRequest::relativePathTo(const std::string& target, const std::string& base) {
  const auto split = [](const std::string& path) {
    std::vector<std::string> parts;
    if (path.starts_with('/')) parts.emplace_back("/");
    size_t at = 0;
    while (at <= path.size()) {
      const size_t next = std::min(path.find('/', at), path.size());
      if (next > at) parts.push_back(path.substr(at, next - at));
      at = next + 1;
    }
    return parts;
  };
  const auto to = split(target);
  const auto from = split(base);
  for (size_t i = 0; i < from.size(); ++i) {
    if (i >= to.size() || to[i] == from[i]) continue;
    std::vector<std::string> parts(from.size() - i - 1, "..");
    parts.insert(parts.end(), to.begin() + static_cast<std::ptrdiff_t>(i), to.end());
    std::string joined;
    for (const auto& part : parts) joined += (joined.empty() ? "" : "/") + part;
    return joined;
  }
  return {};
}

std::string ASIWebPageRequest::cachePathForRequest(const ASIHTTPRequest& child) const {
  if (const auto cache = downloadCache()) {
    if (auto path = cache->pathToStoreCachedResponseDataForRequest(child)) return *path;
  }
  const std::string key = md5Data2String(child.url());
  std::string upper = key;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  const fs::path folder = fs::path(platform::cacheHome()) / "nubren";
  std::error_code ignored;
  fs::create_directories(folder, ignored);
  return (folder / (upper + ".html")).string();
}

}  // namespace nb::http
