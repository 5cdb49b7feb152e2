#include "http/engine/CurlUrl.h"

#include <curl/curl.h>

#include <memory>

#include "platform/CurlEasy.h"

namespace nb::http {

namespace {

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

}  // namespace nb::http
