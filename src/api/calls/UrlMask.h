#pragma once
// Log-safe forms of what goes to the service.

#include <string>
#include <string_view>

namespace nb {

// The URL with the values of its credential parameters (token,
// refresh_token, password, sign, nbkey, ticket) replaced by "***", so that a
// logged URL never carries a secret. Everything else stays as it was.
std::string maskSecretsInUrl(std::string_view url);

}  // namespace nb
