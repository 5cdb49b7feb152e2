#include "foundation/util/UtilUrl.h"

#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <random>

#include <fmt/format.h>
#include <openssl/rand.h>

#include "foundation/app/AppState.h"
#include "foundation/text/LanguageBundle.h"
#include "foundation/text/StringHelpers.h"
#include "platform/AppFolders.h"
#include "platform/Log.h"

namespace nb::Util {
namespace {

namespace fs = std::filesystem;

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Replaces the first occurrence of `from` within the first five characters,
// letters compared without case, as the scheme switch has always done.
std::string replaceSchemeWord(std::string_view url, std::string_view from, std::string_view to) {
  const std::string_view head = url.substr(0, 5);
  for (size_t at = 0; at + from.size() <= head.size(); ++at) {
    bool same = true;
    for (size_t i = 0; i < from.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(head[at + i])) == from[i];
    }
    if (same) {
      return std::string(url.substr(0, at)) + std::string(to) +
             std::string(url.substr(at + from.size()));
    }
  }
  return std::string(url);
}

std::string prefixed(std::string_view url, bool https) {
  return (https ? "https://" : "http://") + std::string(url);
}

std::string firstLineTrimmed(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  const size_t start = line.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) {
    return {};
  }
  return line.substr(start, line.find_last_not_of(" \t\r\n") - start + 1);
}

std::string randomId() {
  std::array<unsigned char, 16> bytes{};
  if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
    std::random_device device;
    for (auto& b : bytes) {
      b = static_cast<unsigned char>(device());
    }
  }
  std::string hex;
  for (unsigned char b : bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0xF];
  }
  return hex;
}

// Keeps the id in the file, readable by the user only; false when it cannot.
bool storeId(const fs::path& file, const std::string& id) {
  ::mkdir(file.parent_path().c_str(), 0700);
  const fs::path aside = file.string() + ".new";
  {
    std::ofstream out(aside, std::ios::trunc);
    if (!(out << id << '\n') || !out.flush()) {
      return false;
    }
  }
  ::chmod(aside.c_str(), 0600);
  std::error_code ec;
  fs::rename(aside, file, ec);
  return !ec;
}

std::string lowerFolder(std::string_view path) {
  std::string lower = lowercaseString(path);
  while (!lower.empty() && lower.back() == '/') {
    lower.pop_back();
  }
  return lower + "/";
}

}  // namespace

std::string localizedStringForKey(std::string_view key, std::optional<std::string_view> alternate) {
  const auto bundle =
      LanguageBundle::forLanguage(getAppDelegate()->languageWithWebUrlString());
  if (auto text = bundle->lookup(key)) {
    return *text;
  }
  return std::string(alternate.value_or(key));
}

std::string getDealWithHttpsOrHttpUrl(std::string_view url, bool https) {
  if (startsWith(url, "http://")) {
    return https ? replaceSchemeWord(url, "http", "https") : std::string(url);
  }
  if (startsWith(url, "https://")) {
    return https ? std::string(url) : replaceSchemeWord(url, "https", "http");
  }
  return prefixed(url, https);
}

std::string getDealWithHttpsOrHttpUrl(std::string_view url) {
  return getDealWithHttpsOrHttpUrl(url, getAppDelegate()->checkUseHttps());
}

std::string CheckHttpWithUrl(std::string_view url) {
  if (startsWith(url, "http")) {
    return std::string(url);
  }
  return prefixed(url, getAppDelegate()->checkUseHttps());
}

std::string computerIdFrom(const fs::path& machineIdFile, const fs::path& fallbackFile) {
  if (std::string id = firstLineTrimmed(machineIdFile); !id.empty()) {
    return id;
  }
  if (std::string id = firstLineTrimmed(fallbackFile); !id.empty()) {
    return id;
  }
  std::string id = randomId();
  if (!storeId(fallbackFile, id)) {
    NBLOG_WARN("cannot keep the computer id in {}", fallbackFile.string());
  }
  return id;
}

std::string getcomputerid() {
  static const std::string id = computerIdFrom(
      "/etc/machine-id", platform::configFolder() / "computerid");
  return id;
}

std::string getGMTDate(std::time_t when) {
  static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm utc{};
  gmtime_r(&when, &utc);
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "%s, %02d %s %04d %02d:%02d:%02d GMT",
                kDays.at(static_cast<size_t>(utc.tm_wday)), utc.tm_mday,
                kMonths.at(static_cast<size_t>(utc.tm_mon)), utc.tm_year + 1900, utc.tm_hour,
                utc.tm_min, utc.tm_sec);
  return text.data();
}

std::string getGMTDate() { return getGMTDate(std::time(nullptr)); }

std::string getChangeTokenError(std::string_view text) {
  if (!text.empty()) {
    return std::string(text);
  }
  return localizedStringForKey("请求失败,确定是否连接网络后，再重试");
}

std::string getwebloginkey() {
  // The other clients count from the start of 2001, 978307200 s after 1970.
  constexpr double kSince2001 = 978307200.0;
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const double seconds = std::chrono::duration<double>(now).count() - kSince2001;
  // fmt writes the point whatever the process locale, as "%f" does in C.
  return sha1HexDigest(getcomputerid() + fmt::format("{:.6f}", seconds));
}

bool checkLinkPathHaveConfigPath(std::string_view folder, std::string_view configFolder) {
  const std::string a = lowerFolder(folder);
  const std::string b = lowerFolder(configFolder);
  return startsWith(a, b) || startsWith(b, a);
}

}  // namespace nb::Util
