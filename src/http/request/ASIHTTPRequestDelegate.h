#pragma once
// What a request's delegate (and its owning queue) may answer. Every
// operation is optional: an object says which it implements through
// respondsToSelector(), named by the texts below, and the request chooses per
// event which name to call (its selector fields), so one object can serve
// several requests in different ways. Every call arrives on the main thread.

#include <string>
#include <string_view>

#include "platform/HttpHeaders.h"

namespace nb::http {

class ASIHTTPRequest;

namespace selector {
inline constexpr const char* requestStarted = "requestStarted:";
inline constexpr const char* didReceiveResponseHeaders = "request:didReceiveResponseHeaders:";
inline constexpr const char* willRedirectToURL = "request:willRedirectToURL:";
inline constexpr const char* requestFinished = "requestFinished:";
inline constexpr const char* requestFailed = "requestFailed:";
inline constexpr const char* requestRedirected = "requestRedirected:";
inline constexpr const char* didReceiveData = "request:didReceiveData:";
inline constexpr const char* authenticationNeeded = "authenticationNeededForRequest:";
inline constexpr const char* proxyAuthenticationNeeded = "proxyAuthenticationNeededForRequest:";
}  // namespace selector

// The argument of a delegate call beside the request; only the member of the
// named operation is set.
struct DelegateArgument {
  const platform::HttpHeaders* headers = nullptr;  // didReceiveResponseHeaders
  const std::string* url = nullptr;                // willRedirectToURL
  const std::string* data = nullptr;               // didReceiveData
};

class ASIHTTPRequestDelegate {
 public:
  virtual ~ASIHTTPRequestDelegate() = default;

  // Whether this object implements the operation of that name.
  virtual bool respondsToSelector(std::string_view name) const = 0;

  // Runs the operation of that name. The default sends the standard names to
  // the members below; an object that answers to names of its own overrides
  // this too.
  virtual void performSelector(std::string_view name, ASIHTTPRequest& request,
                               const DelegateArgument& argument);

  virtual void requestStarted(ASIHTTPRequest&) {}
  virtual void requestDidReceiveResponseHeaders(ASIHTTPRequest&, const platform::HttpHeaders&) {}
  virtual void requestWillRedirectToURL(ASIHTTPRequest&, const std::string&) {}
  virtual void requestFinished(ASIHTTPRequest&) {}
  virtual void requestFailed(ASIHTTPRequest&) {}
  virtual void requestRedirected(ASIHTTPRequest&) {}
  virtual void requestDidReceiveData(ASIHTTPRequest&, const std::string&) {}
  virtual void authenticationNeededForRequest(ASIHTTPRequest&) {}
  virtual void proxyAuthenticationNeededForRequest(ASIHTTPRequest&) {}
};

}  // namespace nb::http
