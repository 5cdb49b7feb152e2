#include "http/request/ASIError.h"

namespace nb::http {

ASIErrorPtr ASIError::make(int code, std::string description,
                           std::optional<std::string> failureReason,
                           ASIErrorPtr underlyingError) {
  return std::make_shared<const ASIError>(NetworkRequestErrorDomain, code, std::move(description),
                                          std::move(failureReason), std::move(underlyingError));
}

const ASIErrorPtr& ASIRequestTimedOutError() {
  static const ASIErrorPtr error =
      ASIError::make(ASIRequestTimedOutErrorType, "The request timed out");
  return error;
}

const ASIErrorPtr& ASIAuthenticationError() {
  static const ASIErrorPtr error =
      ASIError::make(ASIAuthenticationErrorType, "Authentication needed");
  return error;
}

const ASIErrorPtr& ASIRequestCancelledError() {
  static const ASIErrorPtr error =
      ASIError::make(ASIRequestCancelledErrorType, "The request was cancelled");
  return error;
}

const ASIErrorPtr& ASIUnableToCreateRequestError() {
  static const ASIErrorPtr error =
      ASIError::make(ASIUnableToCreateRequestErrorType, "Unable to create request (bad url?)");
  return error;
}

const ASIErrorPtr& ASITooMuchRedirectionError() {
  static const ASIErrorPtr error = ASIError::make(
      ASITooMuchRedirectionErrorType, "The request failed because it redirected too many times");
  return error;
}

}  // namespace nb::http
