#include "api/calls/UrlMask.h"

#include <algorithm>
#include <array>

namespace nb {

namespace {

constexpr std::array<std::string_view, 8> kSecretNames = {
    "token", "refresh_token", "access_token", "password", "key", "sign", "nbkey", "ticket"};
constexpr std::string_view kMask = "***";

bool isSecret(std::string_view name) {
  return std::find(kSecretNames.begin(), kSecretNames.end(), name) != kSecretNames.end();
}

std::string maskPair(std::string_view pair) {
  const auto equals = pair.find('=');
  if (equals == std::string_view::npos || !isSecret(pair.substr(0, equals))) {
    return std::string(pair);
  }
  std::string masked(pair.substr(0, equals + 1));
  masked.append(kMask);
  return masked;
}

// "a=1&token=x" with each secret pair masked.
std::string maskForm(std::string_view form) {
  std::string masked;
  while (true) {
    const auto amp = form.find('&');
    masked += maskPair(form.substr(0, amp));
    if (amp == std::string_view::npos) break;
    masked += '&';
    form.remove_prefix(amp + 1);
  }
  return masked;
}

// The end of the JSON string whose opening quote is at `open`: the index
// after its closing quote, or the text's size when it was cut short.
std::size_t stringEnd(std::string_view text, std::size_t open) {
  for (std::size_t i = open + 1; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      return i + 1;
    }
  }
  return text.size();
}

std::size_t skipSpace(std::string_view text, std::size_t at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')) ++at;
  return at;
}

// The end of a number, literal or other bare value starting at `at`.
std::size_t scalarEnd(std::string_view text, std::size_t at) {
  while (at < text.size() && text.find_first_of(",}] \t\r\n", at) != at) ++at;
  return at;
}

std::string maskJson(std::string_view text) {
  std::string masked;
  std::size_t at = 0;
  while (at < text.size()) {
    const auto open = text.find('"', at);
    if (open == std::string_view::npos) break;
    const auto close = stringEnd(text, open);
    masked += text.substr(at, close - at);
    at = close;
    if (close - open < 2 || !isSecret(text.substr(open + 1, close - open - 2))) continue;
    const auto colon = skipSpace(text, close);
    if (colon >= text.size() || text[colon] != ':') continue;
    const auto value = skipSpace(text, colon + 1);
    if (value >= text.size() || text[value] == '{' || text[value] == '[') continue;
    masked += text.substr(at, value - at);
    if (text[value] == '"') {
      masked.append(1, '"').append(kMask).append(1, '"');
      at = stringEnd(text, value);
    } else {
      masked += kMask;
      at = scalarEnd(text, value);
    }
  }
  masked += text.substr(std::min(at, text.size()));
  return masked;
}

}  // namespace

std::string maskSecretsInUrl(std::string_view url) {
  const auto question = url.find('?');
  if (question == std::string_view::npos) return std::string(url);
  const auto hash = url.find('#', question);
  const auto queryEnd = hash == std::string_view::npos ? url.size() : hash;

  std::string masked(url.substr(0, question + 1));
  masked += maskForm(url.substr(question + 1, queryEnd - question - 1));
  masked += url.substr(queryEnd);
  return masked;
}

std::string maskSecretsInBody(std::string_view body) {
  const auto first = skipSpace(body, 0);
  if (first < body.size() && (body[first] == '{' || body[first] == '[')) return maskJson(body);
  return maskForm(body);
}

}  // namespace nb
