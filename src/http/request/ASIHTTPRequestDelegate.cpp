#include "http/request/ASIHTTPRequestDelegate.h"

namespace nb::http {

void ASIHTTPRequestDelegate::performSelector(std::string_view name, ASIHTTPRequest& request,
                                             const DelegateArgument& argument) {
  static const platform::HttpHeaders kNoHeaders;
  static const std::string kNothing;
  if (name == selector::requestStarted) {
    requestStarted(request);
  } else if (name == selector::didReceiveResponseHeaders) {
    requestDidReceiveResponseHeaders(request, argument.headers ? *argument.headers : kNoHeaders);
  } else if (name == selector::willRedirectToURL) {
    requestWillRedirectToURL(request, argument.url ? *argument.url : kNothing);
  } else if (name == selector::requestFinished) {
    requestFinished(request);
  } else if (name == selector::requestFailed) {
    requestFailed(request);
  } else if (name == selector::requestRedirected) {
    requestRedirected(request);
  } else if (name == selector::didReceiveData) {
    requestDidReceiveData(request, argument.data ? *argument.data : kNothing);
  } else if (name == selector::authenticationNeeded) {
    authenticationNeededForRequest(request);
  } else if (name == selector::proxyAuthenticationNeeded) {
    proxyAuthenticationNeededForRequest(request);
  }
}

}  // namespace nb::http
