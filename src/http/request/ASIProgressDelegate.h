#pragma once
// What a progress delegate (and a request's owning queue) may answer; every
// operation is optional, as respondsToSelector() says. Every call arrives on
// the main thread. Amounts are signed and may be negative.

#include <cstdint>
#include <string_view>

namespace nb::http {

class ASIHTTPRequest;

namespace progress {
inline constexpr const char* setDoubleValue = "setDoubleValue:";
inline constexpr const char* setMaxValue = "setMaxValue:";
inline constexpr const char* didReceiveBytes = "request:didReceiveBytes:";
inline constexpr const char* didSendBytes = "request:didSendBytes:";
inline constexpr const char* incrementDownloadSizeBy = "request:incrementDownloadSizeBy:";
inline constexpr const char* incrementUploadSizeBy = "request:incrementUploadSizeBy:";
}  // namespace progress

class ASIProgressDelegate {
 public:
  virtual ~ASIProgressDelegate() = default;
  virtual bool respondsToSelector(std::string_view name) const = 0;

  virtual void setDoubleValue(double) {}
  virtual void setMaxValue(double) {}
  virtual void requestDidReceiveBytes(ASIHTTPRequest&, int64_t) {}
  virtual void requestDidSendBytes(ASIHTTPRequest&, int64_t) {}
  virtual void requestIncrementDownloadSizeBy(ASIHTTPRequest&, int64_t) {}
  virtual void requestIncrementUploadSizeBy(ASIHTTPRequest&, int64_t) {}
};

}  // namespace nb::http
