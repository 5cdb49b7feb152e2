#include "api/calls/UrlMask.h"

#include <array>
#include <algorithm>

namespace nb {

namespace {

constexpr std::array<std::string_view, 6> kSecretNames = {
    "token", "refresh_token", "password", "sign", "nbkey", "ticket"};

bool isSecret(std::string_view name) {
  return std::find(kSecretNames.begin(), kSecretNames.end(), name) != kSecretNames.end();
}

std::string maskPair(std::string_view pair) {
  const auto equals = pair.find('=');
  if (equals == std::string_view::npos || !isSecret(pair.substr(0, equals))) {
    return std::string(pair);
  }
  return std::string(pair.substr(0, equals + 1)) + "***";
}

}  // namespace

std::string maskSecretsInUrl(std::string_view url) {
  const auto question = url.find('?');
  if (question == std::string_view::npos) return std::string(url);
  const auto hash = url.find('#', question);
  const auto queryEnd = hash == std::string_view::npos ? url.size() : hash;

  std::string masked(url.substr(0, question + 1));
  std::string_view query = url.substr(question + 1, queryEnd - question - 1);
  while (true) {
    const auto amp = query.find('&');
    masked += maskPair(query.substr(0, amp));
    if (amp == std::string_view::npos) break;
    masked += '&';
    query.remove_prefix(amp + 1);
  }
  masked += url.substr(queryEnd);
  return masked;
}

}  // namespace nb
