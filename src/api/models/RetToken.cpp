#include "api/models/RetToken.h"

#include <array>
#include <utility>

#include "foundation/json/Json.h"

namespace nb {

void RetToken::setValueWithJson(const JsonValue& json) {
  nExpires = jsonInt32(json, "expires_in");
  strAccessToken = jsonTextOrEmpty(json, "access_token");
  strRefreshToken = jsonTextOrEmpty(json, "refresh_token");
  ullDateline = static_cast<std::uint64_t>(jsonInt64(json, "dateline"));
  strApiHost = jsonTextOrEmpty(json, "api_host");
}

std::optional<std::int64_t> RetToken::oauthErrorCode(std::string_view error) {
  static constexpr std::array<std::pair<std::string_view, std::int64_t>, 9> kCodes{{
      {"invalid_request", kOAuthInvalidRequest},
      {"invalid_client", kOAuthRefused},
      {"invalid_grant", kOAuthRefused},
      {"invalid_token", kOAuthRefused},
      {"expired_token", kOAuthRefused},
      {"unauthorized_client", kOAuthRefused},
      {"access_denied", kOAuthRefused},
      {"access_upgrade", kOAuthUpgrade},
      {"deprecated_client", kOAuthDeprecated},
  }};
  for (const auto& [name, code] : kCodes) {
    if (name == error) {
      return code;
    }
  }
  return std::nullopt;
}

void RetToken::setValueWithErrorData(const std::string& data) {
  RequestRet::setValueWithErrorData(data);
  if (data.empty()) {
    return;
  }
  const std::optional<JsonValue> json = dictionaryFromData(std::string_view(data));
  if (!json || !json->isObject()) {
    return;
  }
  setStrErrorMsg(jsonTextOrEmpty(*json, "error"));
  strErrorDescription = jsonTextOrEmpty(*json, "error_description");
  if (std::optional<std::int64_t> code = oauthErrorCode(strErrorMsg())) {
    setNErrorCode(*code);
  }
}

}  // namespace nb
