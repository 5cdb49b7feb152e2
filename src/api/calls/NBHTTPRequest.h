#pragma once
// One synchronous HTTP or HTTPS exchange with the service, its passport and
// update hosts or a storage server. It puts the client's fixed headers on the
// request, keeps cookies out, goes through the proxies the system settings
// name for the URL (platform::SystemProxy; none from the environment) and
// checks certificates as the transport settings say. No retry, no queue: the calling thread waits for the answer
// or the time-out. Signing, encoding and reading answers belong to the
// callers.

#include <cstdint>
#include <optional>
#include <string>

#include "api/calls/TransportSettings.h"
#include "platform/HttpHeaders.h"

namespace nb {

// The answer. statusCode 0 means no answer came (refused, time-out,
// connection lost, certificate refused); then headers and body are empty.
struct NBHTTPResponse {
  int64_t statusCode = 0;
  platform::HttpHeaders allHeaderFields;  // names match without regard to case
  std::string body;
  // Why statusCode is 0; None when an answer came.
  platform::TransportFailure failure = platform::TransportFailure::None;
};

class NBHTTPRequest {
 public:
  static constexpr int kDefaultTimeout = 60;  // seconds

  // `method` is "GET", "POST" or "PUT". Absent headers or body send none.
  NBHTTPRequest(std::string url, std::string method,
                std::optional<platform::HttpHeaders> header = std::nullopt,
                std::optional<std::string> body = std::nullopt);

  const std::string& strUrl() const { return strUrl_; }
  void setStrUrl(std::string url) { strUrl_ = std::move(url); }
  const std::string& strMethod() const { return strMethod_; }
  void setStrMethod(std::string method) { strMethod_ = std::move(method); }
  const std::optional<platform::HttpHeaders>& dicHeader() const { return dicHeader_; }
  void setDicHeader(std::optional<platform::HttpHeaders> header) { dicHeader_ = std::move(header); }
  const std::optional<std::string>& dataBody() const { return dataBody_; }
  void setDataBody(std::optional<std::string> body) { dataBody_ = std::move(body); }

  // Sends once and blocks until the answer or the time-out (whole seconds;
  // 0 or less means the default). Settings come from
  // currentTransportSettings(). A failure writes one error line to the log,
  // with the URL's credentials masked.
  NBHTTPResponse connectNetSyncWithResponse(int timeoutSeconds = kDefaultTimeout) const;
  NBHTTPResponse connectNetSyncWithResponse(int timeoutSeconds,
                                            const TransportSettings& settings) const;

  // The header fields in the order they go out: Content-Length, the caller's
  // fields, then User-Agent and Accept-Language, which replace any caller's
  // value. A body goes out with the caller's Content-Type or none: only the
  // caller knows whether it holds a form.
  platform::HttpHeaders outgoingHeaders(const TransportSettings& settings) const;

 private:
  std::string strUrl_;
  std::string strMethod_;
  std::optional<platform::HttpHeaders> dicHeader_;
  std::optional<std::string> dataBody_;
};

}  // namespace nb
