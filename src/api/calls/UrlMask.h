#pragma once
// Log-safe forms of what goes to the service and what comes back.

#include <string>
#include <string_view>

namespace nb {

// The URL with the values of its credential parameters (token,
// refresh_token, access_token, password, key, sign, nbkey, ticket) replaced
// by "***", so that a logged URL never carries a secret. Everything else
// stays as it was.
std::string maskSecretsInUrl(std::string_view url);

// An answer body with the values of the same credential names replaced by
// "***": in JSON text every `"name": value` member at any depth (a string
// value keeps its quotes), also in a body cut short or not quite JSON; in
// any other text every `name=value` pair of a form. Object and array
// values are not masked whole; their own members are.
std::string maskSecretsInBody(std::string_view body);

}  // namespace nb
