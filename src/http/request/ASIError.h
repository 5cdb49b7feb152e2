#pragma once
// The request library's error record: an immutable value with a domain, a
// code and its details. Every error the library makes carries the domain
// "ASIHTTPRequestErrorDomain"; the codes are ASIErrorType below.

#include <memory>
#include <optional>
#include <string>

namespace nb::http {

inline constexpr const char* NetworkRequestErrorDomain = "ASIHTTPRequestErrorDomain";

enum ASIErrorType : int {
  ASIConnectionFailureErrorType = 1,
  ASIRequestTimedOutErrorType = 2,
  ASIAuthenticationErrorType = 3,
  ASIRequestCancelledErrorType = 4,
  ASIUnableToCreateRequestErrorType = 5,
  ASIInternalErrorWhileBuildingRequestType = 6,
  ASIInternalErrorWhileApplyingCredentialsType = 7,
  ASIFileManagementError = 8,
  ASITooMuchRedirectionErrorType = 9,
  ASIUnhandledExceptionError = 10,
  ASICompressionError = 11,
};

class ASIError;
using ASIErrorPtr = std::shared_ptr<const ASIError>;

class ASIError {
 public:
  ASIError(std::string domain, int code, std::string description,
           std::optional<std::string> failureReason = std::nullopt,
           ASIErrorPtr underlyingError = nullptr)
      : domain_(std::move(domain)),
        code_(code),
        description_(std::move(description)),
        failureReason_(std::move(failureReason)),
        underlyingError_(std::move(underlyingError)) {}

  // An error of the library's own domain.
  static ASIErrorPtr make(int code, std::string description,
                          std::optional<std::string> failureReason = std::nullopt,
                          ASIErrorPtr underlyingError = nullptr);

  const std::string& domain() const { return domain_; }
  int code() const { return code_; }
  const std::string& localizedDescription() const { return description_; }
  const std::optional<std::string>& failureReason() const { return failureReason_; }
  // Null when there is none.
  const ASIErrorPtr& underlyingError() const { return underlyingError_; }

 private:
  std::string domain_;
  int code_;
  std::string description_;
  std::optional<std::string> failureReason_;
  ASIErrorPtr underlyingError_;
};

// The five shared errors, made once.
const ASIErrorPtr& ASIRequestTimedOutError();
const ASIErrorPtr& ASIAuthenticationError();
const ASIErrorPtr& ASIRequestCancelledError();
const ASIErrorPtr& ASIUnableToCreateRequestError();
const ASIErrorPtr& ASITooMuchRedirectionError();

}  // namespace nb::http
