#include <algorithm>
#include <string_view>

#include "api/calls/HTTPEngine.h"
#include "foundation/text/StringHelpers.h"

namespace nb {

namespace {

constexpr std::string_view kServiceKey = "Qm4dLr8ZtW2xKp6VbN0cHs5YjEa";
constexpr int kMaxRepeats = 3;

std::string signatureBase64(const SignKeyList& list, std::string_view key) {
  SignKeyList sorted = list;
  // std::string compares bytes as unsigned values, the service's order.
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const SignKey& a, const SignKey& b) { return a.strKey < b.strKey; });
  std::string text;
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    if (i > 0) text += '\n';
    text += sorted[i].strValue;
  }
  return base64Encoded(hmac_sha1(text, key)).value_or("");
}

}  // namespace

void HTTPEngine::addValueForString(SignKeyList& list, std::string key, std::string value) {
  list.push_back(SignKey{std::move(key), std::move(value)});
}

void HTTPEngine::addValueForInteger(SignKeyList& list, std::string key, int64_t value) {
  list.push_back(SignKey{std::move(key), std::to_string(value)});
}

void HTTPEngine::addValueForULongLong(SignKeyList& list, std::string key, uint64_t value) {
  list.push_back(SignKey{std::move(key), std::to_string(value)});
}

std::string HTTPEngine::getAuth(const SignKeyList& list) {
  return urlEncoded(signatureBase64(list, kServiceKey));
}

std::string HTTPEngine::getAuth(const SignKeyList& list, const std::string& secret) {
  return signatureBase64(list, secret);
}

std::string HTTPEngine::getKeyByString(const SignKeyList& list) {
  std::string form;
  for (const auto& key : list) {
    if (!form.empty()) form += '&';
    form += key.strKey + "=" + urlEncoded(key.strValue);
  }
  return form;
}

std::string HTTPEngine::getKeyByData(const SignKeyList& list) { return getKeyByString(list); }

bool HTTPEngine::checkResponseHeader(const NBHTTPResponse& response) {
  return response.allHeaderFields.find("X-SERVER") == "NUBREN";
}

bool HTTPEngine::checkError(int64_t errorCode, int reset) {
  return errorCode >= 40101 && errorCode <= 40102 && reset < kMaxRepeats;
}

}  // namespace nb
