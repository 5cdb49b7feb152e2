#include "http/shared/ContentType.h"

#include <gio/gio.h>

#include <array>
#include <cctype>
#include <filesystem>
#include <memory>
#include <vector>

#include "http/text/TextEncoding.h"

namespace nb::http {

namespace {

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

int monthNumber(const std::string& name) {
  static constexpr std::array<const char*, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  for (size_t i = 0; i < kMonths.size(); ++i) {
    if (lowered(name) == kMonths[i]) return static_cast<int>(i);
  }
  return -1;
}

bool isWeekday(const std::string& name) {
  for (const char* day : {"sun", "mon", "tue", "wed", "thu", "fri", "sat"}) {
    if (lowered(name) == day) return true;
  }
  return false;
}

std::optional<int> number(const std::string& text, size_t digits) {
  if (text.size() != digits && !(digits == 2 && text.size() == 1)) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Offsets of the zone names the date formats accept, in seconds.
std::optional<long> zoneOffset(const std::string& zone) {
  const std::string z = lowered(zone);
  if (z == "gmt" || z == "utc" || z == "ut" || z == "z") return 0;
  if ((z.size() == 5) && (z[0] == '+' || z[0] == '-')) {
    const auto hours = number(z.substr(1, 2), 2);
    const auto minutes = number(z.substr(3, 2), 2);
    if (!hours || !minutes) return std::nullopt;
    const long offset = *hours * 3600L + *minutes * 60L;
    return z[0] == '-' ? -offset : offset;
  }
  return std::nullopt;
}

}  // namespace

void parseMimeTypeAndResponseEncoding(std::optional<std::string>& mimeType, uint64_t& encoding,
                                      const std::string& contentType) {
  const size_t semicolon = contentType.find(';');
  const std::string head = trimmed(contentType.substr(0, semicolon));
  if (semicolon == std::string::npos || head.empty()) {
    mimeType = trimmed(contentType);
    return;
  }
  mimeType = head;
  const std::string rest = contentType.substr(semicolon);
  const size_t charset = lowered(rest).find("charset=");
  if (charset == std::string::npos) return;
  const size_t start = charset + 8;
  if (start >= rest.size()) return;
  const std::string name = trimmed(rest.substr(start, rest.find(';', start) - start));
  if (const auto found = encodingForIANACharSetName(name)) encoding = *found;
}

std::optional<std::time_t> dateFromRFC1123String(const std::string& text) {
  std::string rest = trimmed(text);
  if (text.find(',') != std::string::npos) {
    const size_t comma = rest.find(',');
    if (!isWeekday(trimmed(rest.substr(0, comma)))) return std::nullopt;
    rest = trimmed(rest.substr(comma + 1));
  }
  std::vector<std::string> fields;
  for (const auto& piece : split(rest, ' ')) {
    if (!piece.empty()) fields.push_back(piece);
  }
  if (fields.size() != 5) return std::nullopt;
  const bool withSeconds = split(text, ':').size() == 3;
  const auto clock = split(fields[3], ':');
  if (clock.size() != (withSeconds ? 3u : 2u)) return std::nullopt;
  const auto day = number(fields[0], 2);
  const int month = monthNumber(fields[1]);
  const auto year = number(fields[2], 4);
  const auto hour = number(clock[0], 2);
  const auto minute = number(clock[1], 2);
  const auto second = withSeconds ? number(clock[2], 2) : std::optional<int>(0);
  const auto offset = zoneOffset(fields[4]);
  if (!day || month < 0 || !year || !hour || !minute || !second || !offset) return std::nullopt;
  if (*day < 1 || *day > 31 || *hour > 23 || *minute > 59 || *second > 60) return std::nullopt;
  std::tm parts{};
  parts.tm_mday = *day;
  parts.tm_mon = month;
  parts.tm_year = *year - 1900;
  parts.tm_hour = *hour;
  parts.tm_min = *minute;
  parts.tm_sec = *second;
  return timegm(&parts) - *offset;
}

std::optional<std::time_t> expiryDateForResponse(const platform::HttpHeaders& headers,
                                                 double maxAge, std::time_t now) {
  if (maxAge == 0) {
    const std::string control = lowered(headers.find("Cache-Control").value_or(""));
    const size_t at = control.find("max-age");
    if (at != std::string::npos) {
      size_t pos = control.find_first_not_of(" \t", at + 7);
      if (pos != std::string::npos && control[pos] == '=') ++pos;
      maxAge = std::strtod(control.c_str() + std::min(pos, control.size()), nullptr);
    }
  }
  if (maxAge == 0) {
    const auto expires = headers.find("Expires");
    if (!expires) return std::nullopt;
    return dateFromRFC1123String(*expires);
  }
  return now + static_cast<std::time_t>(maxAge);
}

std::optional<std::string> mimeTypeForFileAtPath(const std::string& path) {
  std::error_code failed;
  if (!std::filesystem::exists(path, failed)) return std::nullopt;
  const std::string name = std::filesystem::path(path).filename().string();
  gboolean uncertain = FALSE;
  std::unique_ptr<gchar, decltype(&g_free)> type(
      g_content_type_guess(name.c_str(), nullptr, 0, &uncertain), &g_free);
  if (!type || uncertain) return "application/octet-stream";
  std::unique_ptr<gchar, decltype(&g_free)> mime(g_content_type_get_mime_type(type.get()),
                                                 &g_free);
  if (!mime) return "application/octet-stream";
  return std::string(mime.get());
}

}  // namespace nb::http
