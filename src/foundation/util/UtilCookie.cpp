#include "foundation/util/UtilCookie.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <sstream>
#include <vector>

#include "platform/AtomicFile.h"

namespace nb::Util {

namespace {

constexpr const char* kHttpOnlyPrefix = "#HttpOnly_";

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

// The host name of a web host that may carry a port.
std::string hostName(const std::string& webHost) {
  return lowerAscii(webHost.substr(0, webHost.find(':')));
}

bool domainMatches(std::string domain, const std::string& host) {
  domain = lowerAscii(domain);
  if (!domain.empty() && domain.front() == '.') {
    domain.erase(0, 1);
  }
  return !domain.empty() &&
         (host == domain || (host.size() > domain.size() &&
                             host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
                             host[host.size() - domain.size() - 1] == '.'));
}

// Whether one cookies.txt line is a cookie sent with a plain-http request
// to the host's root.
bool lineMatches(std::string line, const std::string& host) {
  if (line.rfind(kHttpOnlyPrefix, 0) == 0) {
    line.erase(0, std::char_traits<char>::length(kHttpOnlyPrefix));
  } else if (line.empty() || line.front() == '#') {
    return false;
  }
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) {
    fields.push_back(field);
  }
  if (fields.size() < 7) {
    return false;
  }
  const bool rootPath = fields[2].empty() || fields[2] == "/";
  const bool secureOnly = fields[3] == "TRUE";
  return rootPath && !secureOnly && domainMatches(fields[0], host);
}

}  // namespace

std::string cookieStoragePath(const std::string& configPath) {
  return configPath + "/cookies.txt";
}

bool checkCookieExist(const std::string& webHost, const std::string& cookieFile) {
  const std::string host = hostName(webHost);
  if (host.empty()) {
    return false;
  }
  std::string text = platform::readWholeFile(cookieFile).value_or("");
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (lineMatches(line, host)) {
      return false;
    }
  }
  const auto dot = host.find('.');
  const std::string domain = dot == std::string::npos ? host : host.substr(dot);
  // A stored cookie needs an expiry; ten years stands in for "never".
  const auto expires = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count() +
                       10LL * 365 * 24 * 3600;
  std::random_device device;
  const std::string value = std::to_string(device() % 1000000000U);
  if (!text.empty() && text.back() != '\n') {
    text += '\n';
  }
  text += domain + "\t" + (domain.front() == '.' ? "TRUE" : "FALSE") + "\t/\tFALSE\t" +
          std::to_string(expires) + "\t" + kClientCookieName + "\t" + value + "\n";
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(cookieFile).parent_path(), ec);
  return platform::writeFileAtomically(cookieFile, text, 0600);
}

}  // namespace nb::Util
