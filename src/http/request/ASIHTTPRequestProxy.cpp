// Choosing the proxy: the system's list for the URL, or the answer of a proxy
// auto-configuration script; looked up off the network thread.

#include <fstream>

#include "http/engine/CurlUrl.h"
#include "http/engine/NetworkThread.h"
#include "http/proxy/PacScript.h"
#include "http/proxy/ProxyResolver.h"
#include "http/request/ASIHTTPRequest.h"
#include "http/text/TextEncoding.h"
#include "platform/OperationQueue.h"

namespace nb::http {

namespace {

// A local script file: UTF-8, else read as ISO 8859-1.
std::optional<std::string> readPacFile(std::string path) {
  while (path.starts_with("//")) path.erase(0, 1);
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  char piece[16384];
  while (in.read(piece, sizeof piece) || in.gcount() > 0) {
    text.append(piece, static_cast<size_t>(in.gcount()));
  }
  if (const auto utf8 = decodeText(text, ASIUTF8StringEncoding)) return utf8;
  return latin1ToUtf8(text);
}

// Proxy lookups of asynchronous requests run here, off the network thread.
platform::OperationQueue& proxyLookups() {
  static auto* const queue = new platform::OperationQueue(4);
  return *queue;
}

// The proxies a script names for `url`; every failure of the script (none
// to be had, an error, an unreadable answer) means direct.
std::optional<std::vector<std::string>> proxyListFromScript(const std::string& pacUrl,
                                                           const std::string& url,
                                                           double timeOutSeconds) {
  std::optional<std::string> script;
  const auto scheme = pacUrl.substr(0, pacUrl.find(':'));
  if (scheme == "file") {
    script = readPacFile(pacUrl.substr(pacUrl.find(':') + 1));
  } else if (scheme == "http" || scheme == "https") {
    auto fetch = ASIHTTPRequest::requestWithURL(pacUrl);
    fetch->markAsPACFileRequest();
    fetch->timeOutSeconds = timeOutSeconds;
    fetch->startSynchronous();
    if (!fetch->error()) script = fetch->responseString();
  }
  if (!script) return std::vector<std::string>{};
  const auto host = parseHttpUrl(url).value_or(UrlParts{}).host;
  return evaluatePacScript(*script, url, host).value_or(std::vector<std::string>{});
}

}  // namespace

// Answers whether the proxy is known now; otherwise the lookup goes on
// elsewhere and continues the request itself (or fails it).
bool ASIHTTPRequest::configureProxies() {
  // A proxy once chosen stays for every later attempt and redirect; a
  // script is always fetched directly.
  if (isPACFileRequest_ || !proxyHost_.empty() || proxyPort_ != 0) return true;
  const auto resolver = ProxyResolver::current();
  auto lookUp = [resolver, pac = PACurl, url = url_, timeOut = timeOutSeconds] {
    return pac ? proxyListFromScript(*pac, url, timeOut) : resolver->lookup(url);
  };
  if (driver_ != nullptr && driver_ == &NetworkThread::driver()) {
    // A lookup or a script may block: never on the network thread.
    proxyLookups().addOperation([self = shared_from_this(), lookUp] {
      auto list = lookUp();
      NetworkThread::driver().post(
          [self, list = std::move(list)] { self->proxyLookupDone(list); });
    });
    return false;
  }
  return applyProxyList(lookUp());
}

void ASIHTTPRequest::proxyLookupDone(const std::optional<std::vector<std::string>>& list) {
  std::lock_guard lock(cancelledLock_);
  if (cancelled_ || complete_) return;
  if (applyProxyList(list)) startRequest();
}

bool ASIHTTPRequest::applyProxyList(const std::optional<std::vector<std::string>>& list) {
  if (!list) {
    failWithError(ASIError::make(ASIInternalErrorWhileBuildingRequestType,
                                 "Unable to obtain information on proxy servers needed for request"));
    return false;
  }
  if (list->empty()) return true;
  const ProxyChoice choice = proxyChoiceFromUri(list->front());
  proxyHost_ = choice.host;
  proxyPort_ = choice.port;
  proxyType_ = choice.type;
  return true;
}

}  // namespace nb::http
