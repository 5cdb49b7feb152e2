#include "api/models/RequestRet.h"

#include <chrono>

#include "api/calls/UrlMask.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "platform/Log.h"

namespace nb {

double requestClockNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double RequestRet::elapsed() const { return requestClockNow() - ftStart_; }

void RequestRet::setValueWithData(const std::string& data) {
  const std::string url = maskSecretsInUrl(strRequestUrl_);
  if (data.empty()) {
    nStatusCode_ = kUnreadable;
    NBLOG_ERROR("url={},httpcode={},time={:f}", url, nStatusCode_, elapsed());
    return;
  }
  const auto json = dictionaryFromData(std::string_view(data));
  if (json && json->isObject() && !json->empty()) {
    setValueWithJson(*json);
  } else {
    nStatusCode_ = kUnreadable;
  }
  NBLOG_DEBUG("url={},httpcode={},ret count={},time={:f}", url, nStatusCode_, data.size(), elapsed());
  const auto app = Util::getAppDelegate();
  if (!app->bLinkNetwork()) app->setLinkStatus(true);
}

void RequestRet::setValueWithErrorData(const std::string& data) {
  const std::string url = maskSecretsInUrl(strRequestUrl_);
  if (data.empty()) {
    NBLOG_ERROR("url={},httpcode={},time={:f}", url, nStatusCode_, elapsed());
    return;
  }
  const auto json = dictionaryFromData(std::string_view(data));
  if (json && json->isObject()) {
    strErrorMsg_ = jsonTextOrEmpty(*json, "error_msg");
    nErrorCode_ = jsonInt32(*json, "error_code");
  }
  NBLOG_ERROR("url={},httpcode={},ret={},time={:f}", url, nStatusCode_, maskSecretsInBody(data),
              elapsed());
}

void RequestRet::setValueWithJson(const JsonValue&) {}

}  // namespace nb
