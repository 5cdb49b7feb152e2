#include "http/engine/CurlUrl.h"

#include <curl/curl.h>

#include <memory>

#include "platform/CurlEasy.h"

namespace nb::http {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
        hexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

struct FreeUrl {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, FreeUrl>;

std::optional<std::string> part(CURLU* url, CURLUPart which, unsigned flags = 0) {
  char* text = nullptr;
  if (curl_url_get(url, which, &text, flags) != CURLUE_OK || text == nullptr) return std::nullopt;
  std::string value = text;
  curl_free(text);
  return value;
}

}  // namespace

std::optional<UrlParts> parseHttpUrl(const std::string& url) {
  UrlHandle handle(curl_url());
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
    return std::nullopt;
  }
  const auto scheme = part(handle.get(), CURLUPART_SCHEME);
  if (!scheme || (*scheme != "http" && *scheme != "https")) return std::nullopt;
  UrlParts parts;
  parts.scheme = url.substr(0, url.find(':'));
  parts.host = part(handle.get(), CURLUPART_HOST).value_or("");
  if (const auto port = part(handle.get(), CURLUPART_PORT)) parts.port = std::stoi(*port);
  return parts;
}

std::optional<std::string> resolveUrl(const std::string& base, const std::string& location) {
  UrlHandle handle(curl_url());
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
      curl_url_set(handle.get(), CURLUPART_URL, location.c_str(), 0) != CURLUE_OK) {
    return std::nullopt;
  }
  return part(handle.get(), CURLUPART_URL);
}

std::pair<std::string, std::string> userInfoOf(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return {};
  const size_t end = url.find_first_of("/?#", scheme + 3);
  const std::string authority = url.substr(scheme + 3, end == std::string::npos ? end : end - scheme - 3);
  const size_t at = authority.rfind('@');
  if (at == std::string::npos) return {};
  const std::string info = authority.substr(0, at);
  const size_t colon = info.find(':');
  if (colon == std::string::npos) return {percentDecoded(info), ""};
  return {percentDecoded(info.substr(0, colon)), percentDecoded(info.substr(colon + 1))};
}

}  // namespace nb::http
