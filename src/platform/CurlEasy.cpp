#include "platform/CurlEasy.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>

namespace nb::platform {

namespace {

void initialiseCurlOnce() {
  static const bool done = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return true;
  }();
  (void)done;
}

struct Sink {
  std::string body;
  HttpHeaders headers;
  // Idle time-out bookkeeping: when a byte last moved either way.
  std::chrono::steady_clock::duration idleLimit{};
  std::chrono::steady_clock::time_point lastMove = std::chrono::steady_clock::now();
  curl_off_t lastDown = 0;
  curl_off_t lastUp = 0;
  bool idledOut = false;
};

// curl's own low-speed check averages over several seconds, so a freshly sent
// body would hide an idle server for that long; we watch the counters instead.
int onProgress(void* user, curl_off_t, curl_off_t downNow, curl_off_t, curl_off_t upNow) {
  auto* sink = static_cast<Sink*>(user);
  const auto now = std::chrono::steady_clock::now();
  if (downNow != sink->lastDown || upNow != sink->lastUp) {
    sink->lastDown = downNow;
    sink->lastUp = upNow;
    sink->lastMove = now;
    return 0;
  }
  if (now - sink->lastMove < sink->idleLimit) return 0;
  sink->idledOut = true;
  return 1;  // curl ends the transfer with CURLE_ABORTED_BY_CALLBACK
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
  const size_t bytes = size * count;
  try {
    static_cast<Sink*>(user)->body.append(data, bytes);
  } catch (...) {
    return 0;  // curl aborts the transfer on a short count
  }
  return bytes;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
  const size_t bytes = size * count;
  auto* sink = static_cast<Sink*>(user);
  const std::string_view line(data, bytes);
  try {
    if (line.starts_with("HTTP/")) {
      // A new status line starts a new answer ("100 Continue" comes first).
      sink->headers = HttpHeaders();
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
      sink->headers.add(trim(line.substr(0, colon)), std::string(trim(line.substr(colon + 1))));
    }
  } catch (...) {
    return 0;
  }
  return bytes;
}

// curl sends "Name;" as a field with an empty value; "Name:" would delete it.
std::string headerLine(const std::string& name, const std::string& value) {
  return value.empty() ? name + ";" : name + ": " + value;
}

bool buildHeaderList(const HttpHeaders& headers, CurlHeaderList& list) {
  for (const auto& [name, value] : headers.fields()) {
    if (!list.append(headerLine(name, value))) return false;
  }
  // Keep curl's own additions out: a form Content-Type for every body and
  // "Expect: 100-continue" for larger ones.
  if (!headers.contains("Content-Type") && !list.append("Content-Type:")) return false;
  return headers.contains("Expect") || list.append("Expect:");
}

void setMethodAndBody(CURL* curl, const CurlExchange& exchange) {
  const std::string method = exchange.method.empty() ? "GET" : exchange.method;
  if (method == "GET" && exchange.body.empty()) {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    return;
  }
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(exchange.body.size()));
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, exchange.body.data());
  if (method != "POST") curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
}

TransportFailure classify(CURL* curl, CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      return TransportFailure::Connect;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED:
      return TransportFailure::Tls;
    default: break;
  }
  curl_off_t connected = 0;
  curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected);
  // A stall before any TCP connection is a host that does not take ours.
  const bool stalled = code == CURLE_OPERATION_TIMEDOUT || code == CURLE_ABORTED_BY_CALLBACK;
  if (stalled) return connected == 0 ? TransportFailure::Connect : TransportFailure::Timeout;
  return TransportFailure::Other;
}

void setTransportRules(CURL* curl, const CurlExchange& exchange) {
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  // Each exchange stands alone, also when the handle serves the next
  // exchange of its thread: a connection of its own, closed when it ends (a
  // kept-alive socket would sit idle on the server's side between a
  // thread's calls), a name resolved anew and a full TLS handshake.
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(curl, CURLOPT_DNS_CACHE_TIMEOUT, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_SESSIONID_CACHE, 0L);
  // An empty proxy text overrides http_proxy and friends.
  curl_easy_setopt(curl, CURLOPT_PROXY, exchange.proxy.c_str());

  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(exchange.timeout.count()));

  const bool verify = !exchange.tls.insecure;
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, verify ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, verify ? 2L : 0L);
  if (verify && !exchange.tls.caFile.empty()) {
    curl_easy_setopt(curl, CURLOPT_CAINFO, exchange.tls.caFile.c_str());
  }
}

}  // namespace

CurlHeaderList::~CurlHeaderList() { curl_slist_free_all(list_); }

bool CurlHeaderList::append(const std::string& line) {
  curl_slist* grown = curl_slist_append(list_, line.c_str());
  if (grown == nullptr) return false;
  list_ = grown;
  return true;
}

CurlEasy::CurlEasy() {
  initialiseCurlOnce();
  handle_ = curl_easy_init();
}

CurlEasy::~CurlEasy() {
  if (handle_ != nullptr) curl_easy_cleanup(handle_);
}

CurlEasy& CurlEasy::forCurrentThread() {
  thread_local CurlEasy easy;
  return easy;
}

CurlResult CurlEasy::perform(const CurlExchange& exchange) {
  CurlResult result;
  if (handle_ == nullptr) {
    result.failure = TransportFailure::Other;
    result.error = "no curl handle";
    return result;
  }
  curl_easy_reset(handle_);

  CurlHeaderList headerList;
  CurlHeaderList routes;
  const bool routed = std::all_of(exchange.connectTo.begin(), exchange.connectTo.end(),
                                  [&routes](const std::string& route) { return routes.append(route); });
  if (!buildHeaderList(exchange.headers, headerList) || !routed) {
    result.failure = TransportFailure::Other;
    result.error = "out of memory";
    return result;
  }
  Sink sink;
  char errorText[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(handle_, CURLOPT_URL, exchange.url.c_str());
  curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, headerList.get());
  curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &onBody);
  curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(handle_, CURLOPT_HEADERFUNCTION, &onHeader);
  curl_easy_setopt(handle_, CURLOPT_HEADERDATA, &sink);
  sink.idleLimit = std::max(exchange.timeout, std::chrono::seconds(1));
  curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle_, CURLOPT_XFERINFOFUNCTION, &onProgress);
  curl_easy_setopt(handle_, CURLOPT_XFERINFODATA, &sink);
  if (routes.get() != nullptr) curl_easy_setopt(handle_, CURLOPT_CONNECT_TO, routes.get());
  setTransportRules(handle_, exchange);
  setMethodAndBody(handle_, exchange);

  const CURLcode code = curl_easy_perform(handle_);
  // The handle must not point at our stack once we return.
  curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, nullptr);
  if (code != CURLE_OK) {
    result.failure = classify(handle_, code);
    if (sink.idledOut) {
      result.error = "timed out after " + std::to_string(exchange.timeout.count()) + " s without data";
    } else {
      result.error = std::strlen(errorText) > 0 ? std::string(errorText) : curl_easy_strerror(code);
    }
    result.error += " (curl " + std::to_string(static_cast<int>(code)) + ")";
    return result;
  }
  curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &result.status);
  result.answered = true;
  result.headers = std::move(sink.headers);
  result.body = std::move(sink.body);
  return result;
}

}  // namespace nb::platform
