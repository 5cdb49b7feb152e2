#include "transfer/engine/WebpathMatch.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace nb {

namespace {

std::string lower(std::string_view text) {
  std::string out;
  icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))
      .toLower(icu::Locale::getRoot())
      .toUTF8String(out);
  return out;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return a == b || lower(a) == lower(b);
}

}  // namespace

bool isAtOrUnder(std::string_view webpath, std::string_view path) {
  if (path.empty() || webpath == path) return true;
  return webpath.size() > path.size() && webpath.starts_with(path) && webpath[path.size()] == '/';
}

std::optional<std::string> renamedWebpath(std::string_view webpath, std::string_view oldpath,
                                          std::string_view newpath) {
  if (equalIgnoringCase(webpath, oldpath)) return std::string(newpath);
  if (webpath.size() <= oldpath.size() || webpath[oldpath.size()] != '/') return std::nullopt;
  if (!equalIgnoringCase(webpath.substr(0, oldpath.size()), oldpath)) return std::nullopt;
  std::string out(newpath);
  out += webpath.substr(oldpath.size());
  return out;
}

}  // namespace nb
