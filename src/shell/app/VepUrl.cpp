#include "shell/app/VepUrl.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "foundation/text/StringHelpers.h"

namespace nb {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos
                                                                    : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

// The leading decimal integer of `text` (after blanks, with a sign); 0 when
// none.
std::int64_t integerValue(const std::string& text) {
  return static_cast<std::int64_t>(std::strtoll(text.c_str(), nullptr, 10));
}

}  // namespace

std::optional<std::map<std::string, std::string>> urlDecoded(const std::string& url,
                                                             std::optional<std::string>& cmdstr) {
  const std::string_view prefix(kVepScheme);
  if (!url.starts_with(prefix)) return std::nullopt;
  const auto line = base64DecodedText(std::string_view(url).substr(prefix.size()));
  const auto halves = line ? split(*line, '?') : std::vector<std::string_view>{};
  if (halves.size() != 2) {
    cmdstr.reset();
    return std::nullopt;
  }
  cmdstr = std::string(halves[0]);
  std::map<std::string, std::string> params;
  for (const std::string_view piece : split(halves[1], '&')) {
    const std::size_t eq = piece.find('=');
    if (eq == std::string_view::npos) continue;
    params.insert_or_assign(std::string(piece.substr(0, eq)), std::string(piece.substr(eq + 1)));
  }
  return params;
}

std::optional<VepMount> vepMountRequest(const std::string& url) {
  std::optional<std::string> command;
  const auto params = urlDecoded(url, command);
  if (!params || command != "mount") return std::nullopt;
  VepMount mount;
  if (const auto id = params->find("id"); id != params->end()) mount.mountId = integerValue(id->second);
  if (const auto path = params->find("path"); path != params->end()) {
    const auto decoded = nb::urlDecoded(path->second);
    if (!decoded) return std::nullopt;
    mount.webpath = *decoded;
  }
  return mount;
}

}  // namespace nb
