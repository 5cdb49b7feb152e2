#include "api/calls/NBHTTPRequest.h"

#include <algorithm>
#include <chrono>

#include "api/calls/UrlMask.h"
#include "platform/CurlEasy.h"
#include "platform/Log.h"
#include "platform/SystemProxy.h"

namespace nb {

namespace {

// Sent when the shell has no language text of its own, so that every
// request names one as the service expects.
constexpr const char* kFallbackLanguage = "en-us;q=1,en";

std::string userAgentFor(const TransportSettings& settings) {
  if (!settings.userAgent.empty()) return settings.userAgent;
  if (!settings.source.empty()) return "NB_SYNC;SOURCE/" + settings.source;
  return {};
}

}  // namespace

NBHTTPRequest::NBHTTPRequest(std::string url, std::string method,
                             std::optional<platform::HttpHeaders> header,
                             std::optional<std::string> body)
    : strUrl_(std::move(url)),
      strMethod_(std::move(method)),
      dicHeader_(std::move(header)),
      dataBody_(std::move(body)) {}

platform::HttpHeaders NBHTTPRequest::outgoingHeaders(const TransportSettings& settings) const {
  const std::size_t length = dataBody_ ? dataBody_->size() : 0;
  platform::HttpHeaders headers;
  headers.set("Content-Length", std::to_string(length));
  if (dicHeader_) {
    for (const auto& [name, value] : dicHeader_->fields()) {
      // The length always tells the truth about the body we send: a caller's
      // value could only break the framing of the exchange.
      if (!platform::headerNameEquals(name, "Content-Length")) headers.set(name, value);
    }
  }
  if (const auto agent = userAgentFor(settings); !agent.empty()) headers.set("User-Agent", agent);
  headers.set("Accept-Language",
              settings.acceptLanguage.empty() ? kFallbackLanguage : settings.acceptLanguage);
  return headers;
}

NBHTTPResponse NBHTTPRequest::connectNetSyncWithResponse(int timeoutSeconds) const {
  return connectNetSyncWithResponse(timeoutSeconds, currentTransportSettings());
}

NBHTTPResponse NBHTTPRequest::connectNetSyncWithResponse(int timeoutSeconds,
                                                         const TransportSettings& settings) const {
  platform::CurlExchange exchange;
  exchange.url = strUrl_;
  exchange.method = strMethod_;
  exchange.headers = outgoingHeaders(settings);
  if (dataBody_) exchange.body = *dataBody_;
  exchange.timeout = std::chrono::seconds(timeoutSeconds > 0 ? timeoutSeconds : kDefaultTimeout);
  if (settings.timeoutLimit.count() > 0) {
    exchange.timeout = std::min(exchange.timeout, settings.timeoutLimit);
  }
  exchange.tls = settings.tls;
  exchange.connectTo = settings.connectTo;

  platform::CurlEasy& curl = platform::CurlEasy::forCurrentThread();
  platform::CurlResult result;
  const std::vector<std::string> proxies = platform::SystemProxy::proxiesFor(strUrl_);
  for (std::size_t i = 0; i < proxies.size(); ++i) {
    exchange.proxy = proxies[i];
    result = curl.perform(exchange);
    // The next way out is tried only when this one could not be reached.
    if (result.answered || result.failure != platform::TransportFailure::Connect) break;
    if (i + 1 < proxies.size()) NBLOG_WARN("{}, trying the next proxy", result.error);
  }
  NBHTTPResponse response;
  if (!result.answered) {
    NBLOG_ERROR("{} url={}", result.error, maskSecretsInUrl(strUrl_));
    response.failure = result.failure;
    return response;
  }
  response.statusCode = result.status;
  response.allHeaderFields = std::move(result.headers);
  response.body = std::move(result.body);
  return response;
}

}  // namespace nb
