// Choosing the proxy: the system's list for the URL, or the answer of a proxy
// auto-configuration script. Lookups and script runs may block (D-Bus, name
// lookups): for asynchronous requests they run off the network thread.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "http/engine/CurlUrl.h"
#include "http/engine/NetworkThread.h"
#include "http/pool/ConnectionPool.h"
#include "http/proxy/PacScript.h"
#include "http/proxy/ProxyResolver.h"
#include "http/request/ASIHTTPRequest.h"
#include "http/text/TextEncoding.h"
#include "platform/Log.h"
#include "platform/OperationQueue.h"
#include "platform/UniqueFd.h"

namespace nb::http {

namespace {

constexpr size_t kPACReadSize = 16'384;
// Script fetches start before the requests waiting in sharedQueue.
constexpr int kPACFetchPriority = 4;
// How a proxy list names a script instead of a proxy.
constexpr std::string_view kScriptPrefix = "pac+";

// A local script file: UTF-8, else read as ISO 8859-1. Nothing when it
// cannot be read, or when reading it takes longer than `timeOutSeconds`
// (checked between reads; 0 or less: no limit).
std::optional<std::string> readPacFile(std::string path, double timeOutSeconds) {
  while (path.starts_with("//")) path.erase(0, 1);
  const auto deadline = platform::monotonicNow() +
                        std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::duration<double>(std::max(timeOutSeconds, 0.0)));
  const platform::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.ok()) return std::nullopt;
  std::string text;
  char piece[kPACReadSize];
  for (;;) {
    if (timeOutSeconds > 0 && platform::monotonicNow() > deadline) return std::nullopt;
    const ssize_t got = ::read(file.get(), piece, sizeof piece);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    text.append(piece, static_cast<size_t>(got));
  }
  if (auto utf8 = decodeText(text, ASIUTF8StringEncoding)) return utf8;
  return latin1ToUtf8(text);
}

// Proxy lookups and script runs of asynchronous requests run here.
platform::OperationQueue& proxyLookups() {
  static auto* const queue = new platform::OperationQueue(4);
  return *queue;
}

std::string schemeOf(const std::string& url) {
  const size_t colon = url.find(':');
  std::string scheme = colon == std::string::npos ? "" : url.substr(0, colon);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return scheme;
}

std::optional<std::vector<std::string>> evaluateFor(const std::optional<std::string>& script,
                                                    const std::string& url) {
  if (!script) return std::nullopt;
  const auto host = parseHttpUrl(url).value_or(UrlParts{}).host;
  return evaluatePacScript(*script, url, host);
}

}  // namespace

bool ASIHTTPRequest::isOnNetworkThread() const {
  return driver_ != nullptr && driver_ == &NetworkThread::driver();
}

// Answers whether the proxy is known now; otherwise the lookup or the script
// goes on elsewhere and continues the request itself (or fails it).
bool ASIHTTPRequest::configureProxies() {
  // A proxy once chosen stays for every later attempt and redirect; a
  // script is always fetched directly.
  if (isPACFileRequest_ || !proxyHost_.empty() || proxyPort_ != 0) return true;
  if (PACurl) {
    fetchPACFile();
    return false;
  }
  const auto resolver = ProxyResolver::current();
  if (isOnNetworkThread()) {
    proxyLookups().addOperation([self = shared_from_this(), resolver, url = url_] {
      auto list = resolver->lookup(url);
      NetworkThread::driver().post(
          [self, list = std::move(list)] { self->proxyLookupDone(list); });
    });
    return false;
  }
  return applyProxyList(resolver->lookup(url_));
}

void ASIHTTPRequest::proxyLookupDone(const std::optional<std::vector<std::string>>& list) {
  std::lock_guard lock(cancelledLock_);
  if (cancelled_ || complete_) return;
  if (applyProxyList(list)) startRequest();
}

bool ASIHTTPRequest::applyProxyList(const std::optional<std::vector<std::string>>& list) {
  if (!list) {
    destroyReadStream();
    failWithError(ASIError::make(ASIInternalErrorWhileBuildingRequestType,
                                 "Unable to obtain information on proxy servers needed for request"));
    return false;
  }
  if (list->empty()) return true;
  if (list->front().starts_with(kScriptPrefix)) {
    PACurl = list->front().substr(kScriptPrefix.size());
    fetchPACFile();
    return false;
  }
  const ProxyChoice choice = proxyChoiceFromUri(list->front());
  proxyHost_ = choice.host;
  proxyPort_ = choice.port;
  proxyType_ = choice.type;
  systemProxyUsername_ = choice.username;
  systemProxyPassword_ = choice.password;
  return true;
}

// ---- the script ---------------------------------------------------------------------

void ASIHTTPRequest::fetchPACFile() {
  const std::string pacUrl = PACurl.value_or("");
  const std::string scheme = schemeOf(pacUrl);
  if (scheme == "file") {
    const std::string path = pacUrl.substr(pacUrl.find(':') + 1);
    if (isOnNetworkThread()) {
      proxyLookups().addOperation([self = shared_from_this(), path, timeOut = timeOutSeconds] {
        self->evaluatePACScriptElsewhere(readPacFile(path, timeOut));
      });
      return;
    }
    runPACScript(readPacFile(path, timeOutSeconds));
    startRequest();
    return;
  }
  if (scheme != "http" && scheme != "https") {
    startRequest();
    return;
  }
  auto fetch = ASIHTTPRequest::requestWithURL(pacUrl);
  fetch->markAsPACFileRequest();
  fetch->timeOutSeconds = timeOutSeconds;
  if (!isOnNetworkThread()) {
    fetch->startSynchronous();
    if (!fetch->error()) runPACScript(fetch->responseString());
    startRequest();
    return;
  }
  PACFileRequest_ = fetch;
  fetch->PACFileDone_ = [parent = weak_from_this(), weakFetch = std::weak_ptr(fetch)] {
    const auto self = parent.lock();
    const auto done = weakFetch.lock();
    if (self && done) self->finishedDownloadingPACFile(done);
  };
  fetch->setQueuePriority(kPACFetchPriority);
  fetch->startAsynchronous();
  // Room for the fetch beside the requests that wait for their scripts.
  std::lock_guard lock(ConnectionPool::connectionsLock());
  platform::OperationQueue& queue = sharedQueue();
  queue.setMaxConcurrentOperationCount(queue.maxConcurrentOperationCount() + 1);
  raisedQueueWidthForPACFetch_ = true;
}

// On the network thread. The answer's text counts whatever its status.
void ASIHTTPRequest::finishedDownloadingPACFile(const std::shared_ptr<ASIHTTPRequest>& fetch) {
  std::lock_guard lock(cancelledLock_);
  if (PACFileRequest_ != fetch) return;  // cancelled meanwhile
  PACFileRequest_.reset();
  lowerQueueWidthForPACFetch();
  if (cancelled_ || complete_) return;
  evaluatePACScriptElsewhere(fetch->error() ? std::nullopt : fetch->responseString());
}

// For an asynchronous request: runs the script off the network thread, then
// continues there.
void ASIHTTPRequest::evaluatePACScriptElsewhere(std::optional<std::string> script) {
  auto evaluate = [self = shared_from_this(), script = std::move(script), url = url()] {
    auto list = evaluateFor(script, url);
    NetworkThread::driver().post([self, list = std::move(list)] {
      std::lock_guard lock(self->cancelledLock_);
      if (self->cancelled_ || self->complete_) return;
      self->applyPACAnswer(list);
      self->startRequest();
    });
  };
  if (NetworkThread::driver().isOwnerThread()) {
    proxyLookups().addOperation(std::move(evaluate));
  } else {
    evaluate();
  }
}

void ASIHTTPRequest::runPACScript(const std::optional<std::string>& script) {
  applyPACAnswer(evaluateFor(script, url_));
}

// Every failure of a script (none, an error, no entry) means direct.
void ASIHTTPRequest::applyPACAnswer(const std::optional<std::vector<std::string>>& list) {
  if (!list || list->empty()) return;
  const ProxyChoice choice = proxyChoiceFromUri(list->front());
  proxyHost_ = choice.host;
  proxyPort_ = choice.port;
  proxyType_ = choice.type;
}

// Part of tearing a run down: a script fetch still running is cancelled and
// reports to nobody.
void ASIHTTPRequest::cancelPACFetch() {
  std::shared_ptr<ASIHTTPRequest> fetch;
  fetch.swap(PACFileRequest_);
  if (!fetch) return;
  fetch->setDelegate(nullptr);
  fetch->cancel();
  lowerQueueWidthForPACFetch();
}

void ASIHTTPRequest::lowerQueueWidthForPACFetch() {
  if (!raisedQueueWidthForPACFetch_) return;
  raisedQueueWidthForPACFetch_ = false;
  std::lock_guard lock(ConnectionPool::connectionsLock());
  platform::OperationQueue& queue = sharedQueue();
  queue.setMaxConcurrentOperationCount(queue.maxConcurrentOperationCount() - 1);
}

}  // namespace nb::http
