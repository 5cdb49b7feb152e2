#include "transfer/lan/LanRequestHead.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "stores/cache/SyncCache.h"

namespace nb::lan {
namespace {

constexpr std::string_view kDownloadKey = "download?filehash=";

bool equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool hasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

// A decimal number of at most 18 digits, so that it always fits.
std::optional<std::int64_t> parseOffset(std::string_view digits) {
  if (digits.empty() || digits.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

// "bytes=B-E" or "bytes=B-"; an end below the begin means to the end.
void parseRange(std::string_view value, LanRequest& request) {
  request.range = LanRequest::Range::kMalformed;
  const auto equals = value.find('=');
  if (equals == std::string_view::npos || !equalsNoCase(trim(value.substr(0, equals)), "bytes")) {
    return;
  }
  const std::string_view spec = trim(value.substr(equals + 1));
  const auto dash = spec.find('-');
  if (dash == std::string_view::npos) return;
  const auto begin = parseOffset(spec.substr(0, dash));
  if (!begin) return;
  std::int64_t end = -1;
  const std::string_view tail = spec.substr(dash + 1);
  if (!tail.empty()) {
    const auto parsed = parseOffset(tail);
    if (!parsed) return;
    end = *parsed < *begin ? -1 : *parsed;
  }
  request.range = LanRequest::Range::kValid;
  request.begin = *begin;
  request.end = end;
}

void parseTarget(std::string_view line, LanRequest& request) {
  const auto firstBlank = line.find(' ');
  if (firstBlank == std::string_view::npos) return;
  std::string_view target = line.substr(firstBlank + 1);
  target = target.substr(0, target.find(' '));
  const auto key = target.find(kDownloadKey);
  if (key == std::string_view::npos) return;
  request.download = true;
  std::string_view value = target.substr(key + kDownloadKey.size());
  value = value.substr(0, value.find('&'));
  const std::string hash(value);
  if (isContentHash(hash)) request.filehash = hash;
}

void parseHeader(std::string_view line, LanRequest& request) {
  const auto colon = line.find(':');
  if (colon == std::string_view::npos) return;
  const std::string_view name = trim(line.substr(0, colon));
  const std::string_view value = trim(line.substr(colon + 1));
  if (equalsNoCase(name, "Host")) {
    request.host = hasControl(value) ? std::string() : std::string(value);
  } else if (equalsNoCase(name, "Range")) {
    parseRange(value, request);
  }
}

}  // namespace

LanHeadResult parseLanRequestHead(std::string_view buffered) {
  LanHeadResult result;
  const auto blank = buffered.find("\r\n\r\n");
  if (blank == std::string_view::npos || blank + 4 > kLanMaxRequestHead) {
    if (buffered.size() >= kLanMaxRequestHead) result.status = LanHeadResult::Status::kTooLarge;
    return result;
  }
  result.status = LanHeadResult::Status::kComplete;
  result.consumed = blank + 4;
  std::string_view head = buffered.substr(0, blank + 2);
  bool first = true;
  while (!head.empty()) {
    const auto eol = head.find("\r\n");
    const std::string_view line = head.substr(0, eol);
    head.remove_prefix(eol + 2);
    if (first) {
      parseTarget(line, result.request);
      first = false;
    } else {
      parseHeader(line, result.request);
    }
  }
  return result;
}

std::string lanReplyWhole(const std::string& server, const std::string& date,
                          std::uint64_t size) {
  return "HTTP/1.1 200 OK\r\nServer: " + server + "\r\nDate: " + date +
         "\r\nContent-Length: " + std::to_string(size) + "\r\nContent-Type: close\r\n\r\n";
}

std::string lanReplyRange(const std::string& server, const std::string& date,
                          std::uint64_t first, std::uint64_t last) {
  const std::string length = std::to_string(last - first + 1);
  return "HTTP/1.1 206 Partial Content\r\nServer: " + server + "\r\nDate: " + date +
         "\r\nContent-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
         length + "\r\nAccept-Ranges: bytes\r\nContent-Length: " + length +
         "\r\nContent-Type: close\r\n\r\n";
}

std::string lanReplyNotFound(const std::string& server, const std::string& date) {
  return "HTTP/1.1 404  Not Found\r\nDate: " + date + "\r\nServer: " + server +
         "\r\nContent-Type: close\r\n\r\n";
}

}  // namespace nb::lan
