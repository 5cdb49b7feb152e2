#include "api/calls/NBHTTPRequest.h"

#include <chrono>

#include "api/calls/UrlMask.h"
#include "platform/CurlEasy.h"
#include "platform/Log.h"

namespace nb {

namespace {

constexpr const char* kFormContentType = "application/x-www-form-urlencoded";

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
  if (length > 0 && !headers.contains("Content-Type")) headers.set("Content-Type", kFormContentType);
  if (const auto agent = userAgentFor(settings); !agent.empty()) headers.set("User-Agent", agent);
  if (!settings.acceptLanguage.empty()) headers.set("Accept-Language", settings.acceptLanguage);
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
  exchange.tls = settings.tls;

  platform::CurlEasy curl;
  platform::CurlResult result = curl.perform(exchange);
  NBHTTPResponse response;
  if (!result.answered) {
    NBLOG_ERROR("{} url={}", result.error, maskSecretsInUrl(strUrl_));
    return response;
  }
  response.statusCode = result.status;
  response.allHeaderFields = std::move(result.headers);
  response.body = std::move(result.body);
  return response;
}

}  // namespace nb
