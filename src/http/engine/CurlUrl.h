#pragma once
// URL parsing and relative resolution through curl's URL API.

#include <optional>
#include <string>
#include <utility>

namespace nb::http {

struct UrlParts {
  std::string scheme;  // as written in the URL
  std::string host;
  int port = 0;        // the explicit port, 0 when the URL names none
};

// The parts of an absolute http or https URL; nothing for any other text.
std::optional<UrlParts> parseHttpUrl(const std::string& url);

// The user name and password written in a URL ("user:password@"),
// percent-decoded; empty texts for what is not there.
std::pair<std::string, std::string> userInfoOf(const std::string& url);

// `location` resolved against `base`, absolute; nothing when curl refuses it.
std::optional<std::string> resolveUrl(const std::string& base, const std::string& location);

}  // namespace nb::http
