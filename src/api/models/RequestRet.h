#pragma once
// The result of every web API call: the HTTP status or one of the codes
// below, the server's error code and message, the URL as sent and when it was
// sent. Result models derive from it and fill their fields in
// setValueWithJson().

#include <cstdint>
#include <string>

#include "foundation/json/JsonValue.h"
#include "platform/CurlEasy.h"

namespace nb {

class RequestRet {
 public:
  // nStatusCode values besides real HTTP statuses.
  static constexpr int64_t kNoResponse = 0;
  static constexpr int64_t kNoMarker = -2;     // 200 without "X-SERVER: NUBREN"
  static constexpr int64_t kUnreadable = -3;   // 200 with the marker, body not a non-empty object
  static constexpr int64_t kNoFileHash = 10061;  // create-file without a hash; nothing sent

  RequestRet() = default;
  virtual ~RequestRet() = default;
  RequestRet(const RequestRet&) = default;
  RequestRet& operator=(const RequestRet&) = default;

  int64_t nStatusCode() const { return nStatusCode_; }
  void setNStatusCode(int64_t code) { nStatusCode_ = code; }
  int64_t nErrorCode() const { return nErrorCode_; }
  void setNErrorCode(int64_t code) { nErrorCode_ = code; }
  const std::string& strErrorMsg() const { return strErrorMsg_; }
  void setStrErrorMsg(std::string message) { strErrorMsg_ = std::move(message); }
  // The URL as sent, with its query for GET calls. Holds credentials: log it
  // only through maskSecretsInUrl().
  const std::string& strRequestUrl() const { return strRequestUrl_; }
  void setStrRequestUrl(std::string url) { strRequestUrl_ = std::move(url); }
  // Why no answer came (nStatusCode 0); None once one came.
  platform::TransportFailure transportFailure() const { return transportFailure_; }
  void setTransportFailure(platform::TransportFailure failure) { transportFailure_ = failure; }
  // Seconds on the monotonic clock when the request went out.
  double ftStart() const { return ftStart_; }
  void setFtStart(double seconds) { ftStart_ = seconds; }

  // The body of a 200 with the marker: an empty body or one that is not a
  // non-empty JSON object sets kUnreadable; a non-empty body also tells the
  // shell the network is up.
  virtual void setValueWithData(const std::string& data);
  // The body of any other answer: reads "error_code" (number or text, as
  // int32) and "error_msg" from a JSON object; anything else leaves them.
  virtual void setValueWithErrorData(const std::string& data);
  // A non-empty JSON object of a successful answer. Nothing here.
  virtual void setValueWithJson(const JsonValue& json);

  // Seconds since ftStart(), for the log lines.
  double elapsed() const;

 private:
  int64_t nStatusCode_ = 0;
  int64_t nErrorCode_ = 0;
  std::string strErrorMsg_;
  std::string strRequestUrl_;
  platform::TransportFailure transportFailure_ = platform::TransportFailure::None;
  double ftStart_ = 0;
};

// Seconds on the monotonic clock, the reference of ftStart().
double requestClockNow();

}  // namespace nb
