#include "support/FakeSignature.h"

#include <algorithm>

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace nb::test::fakesig {

namespace {

bool isUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '~';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::string urlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (isUnreserved(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::string urlDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
               hexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

FakeParams parseForm(std::string_view form) {
  FakeParams params;
  while (!form.empty()) {
    const auto amp = form.find('&');
    const std::string_view pair = form.substr(0, amp);
    if (!pair.empty()) {
      const auto equals = pair.find('=');
      if (equals == std::string_view::npos) {
        params.emplace_back(urlDecode(pair), "");
      } else {
        params.emplace_back(urlDecode(pair.substr(0, equals)), urlDecode(pair.substr(equals + 1)));
      }
    }
    if (amp == std::string_view::npos) break;
    form.remove_prefix(amp + 1);
  }
  return params;
}

std::string hmacSha1Base64(std::string_view key, std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest, &length);
  std::string base64(4 * ((length + 2) / 3) + 1, '\0');
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()), digest,
                                      static_cast<int>(length));
  base64.resize(static_cast<std::size_t>(written));
  return base64;
}

std::string expectedSign(const FakeParams& params, const std::vector<std::string>& unsignedNames) {
  FakeParams covered;
  for (const auto& param : params) {
    if (param.first != "sign" && !contains(unsignedNames, param.first)) covered.push_back(param);
  }
  // std::string compares as unsigned bytes, which is the order the service uses.
  std::stable_sort(covered.begin(), covered.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string text;
  for (std::size_t i = 0; i < covered.size(); ++i) {
    if (i > 0) text += '\n';
    text += covered[i].second;
  }
  return urlEncode(hmacSha1Base64(kServiceKey, text));
}

bool verify(const FakeParams& params, const std::vector<std::string>& unsignedNames,
            std::string& why) {
  const auto sign = std::find_if(params.begin(), params.end(),
                                 [](const auto& param) { return param.first == "sign"; });
  if (sign == params.end()) {
    why = "no sign parameter";
    return false;
  }
  for (auto after = sign + 1; after != params.end(); ++after) {
    if (!contains(unsignedNames, after->first)) {
      why = "parameter " + after->first + " follows sign";
      return false;
    }
  }
  const std::string expected = expectedSign(params, unsignedNames);
  if (sign->second != expected) {
    why = "sign " + sign->second + " expected " + expected;
    return false;
  }
  return true;
}

}  // namespace nb::test::fakesig
