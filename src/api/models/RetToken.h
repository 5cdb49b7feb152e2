#pragma once
// Answer of the token endpoint (sign-in by password, by one-time key, by
// refresh token). A refusal carries the OAuth error: strErrorMsg holds its
// name and nErrorCode the mapped code below.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "api/models/RequestRet.h"

namespace nb {

class RetToken : public RequestRet {
 public:
  // nErrorCode of a refusal, from the OAuth "error" name.
  static constexpr std::int64_t kOAuthInvalidRequest = 0;
  static constexpr std::int64_t kOAuthRefused = 1;     // bad client, grant or token; denied
  static constexpr std::int64_t kOAuthUpgrade = 2;     // "access_upgrade"
  static constexpr std::int64_t kOAuthDeprecated = 3;  // this client is too old

  void setValueWithJson(const JsonValue& json) override;
  // The common error reading, then the OAuth one: strErrorMsg becomes the
  // "error" name ("" when absent), strErrorDescription "error_description",
  // and a known name replaces the "error_code".
  void setValueWithErrorData(const std::string& data) override;

  // The code an OAuth error name maps to; nothing for unknown names.
  static std::optional<std::int64_t> oauthErrorCode(std::string_view error);

  // Credentials below: never log them.
  std::int64_t nExpires = 0;  // seconds; read through 32 bits
  std::string strAccessToken;
  std::string strRefreshToken;
  std::string strErrorDescription;
  std::uint64_t ullDateline = 0;
  std::string strApiHost;  // "" when absent: the API host stays as it is
};

}  // namespace nb
