#include "foundation/util/UtilNames.h"

#include <memory>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace nb::Util {
namespace {

constexpr std::string_view kWindowsReserved = "<>|?:\\\"*\n\r\t";
constexpr std::string_view kIllegalInWindows = "/\\\"*:<>?|";

bool inRange(char32_t c, char32_t low, char32_t high) { return c >= low && c <= high; }

// One grapheme cluster, in UTF-16 units, judged as the service's other
// clients judge it so that every client refuses the same names.
bool isEmojiCluster(std::u16string_view cluster) {
  if (cluster.empty()) {
    return false;
  }
  const char16_t u0 = cluster[0];
  if ((u0 & 0xFC00) == 0xD800) {
    if (cluster.size() < 2) {
      return false;
    }
    const char32_t code =
        0x10000 + ((static_cast<char32_t>(u0) - 0xD800) << 10) + (cluster[1] - 0xDC00);
    return inRange(code, 0x1D000, 0x1F77F);
  }
  if (cluster.size() >= 2) {
    return cluster[1] == 0x20E3;
  }
  switch (u0) {
    case 0x00A9: case 0x00AE: case 0x2B1B: case 0x2B1C:
    case 0x2B50: case 0x2B55: case 0x3030: case 0x303D:
      return true;
    default:
      return inRange(u0, 0x2100, 0x27FF) || inRange(u0, 0x2B05, 0x2B07) ||
             inRange(u0, 0x2934, 0x2935) || inRange(u0, 0x3297, 0x3299);
  }
}

// Calls visit(cluster) for each grapheme cluster of the text, in order, until
// visit answers false.
template <typename Visit>
void forEachCluster(const icu::UnicodeString& text, Visit visit) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> it(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  const std::u16string_view units(text.getBuffer(), static_cast<size_t>(text.length()));
  if (U_FAILURE(status) || !it) {
    // Without break data every unit (or surrogate pair) stands alone.
    for (size_t i = 0; i < units.size();) {
      const size_t n = (units[i] & 0xFC00) == 0xD800 && i + 1 < units.size() ? 2 : 1;
      if (!visit(units.substr(i, n))) {
        return;
      }
      i += n;
    }
    return;
  }
  it->setText(text);
  for (int32_t start = it->first(), end = it->next(); end != icu::BreakIterator::DONE;
       start = end, end = it->next()) {
    if (!visit(units.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)))) {
      return;
    }
  }
}

icu::UnicodeString fromUtf8(std::string_view text) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

std::string_view lastComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') {
    path.remove_suffix(1);
  }
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool stringContainsEmoji(std::u16string_view text) {
  bool found = false;
  forEachCluster(icu::UnicodeString(text.data(), static_cast<int32_t>(text.size())),
                 [&](std::u16string_view cluster) {
                   found = isEmojiCluster(cluster);
                   return !found;
                 });
  return found;
}

bool stringContainsEmoji(std::string_view text) {
  const icu::UnicodeString units = fromUtf8(text);
  return stringContainsEmoji(
      std::u16string_view(units.getBuffer(), static_cast<size_t>(units.length())));
}

std::string changeContainsEmoji(std::string_view text) {
  icu::UnicodeString out;
  forEachCluster(fromUtf8(text), [&](std::u16string_view cluster) {
    if (isEmojiCluster(cluster)) {
      out.append(u'_');
    } else {
      out.append(cluster.data(), static_cast<int32_t>(cluster.size()));
    }
    return true;
  });
  return toUtf8(out);
}

bool isWindowsErrorName(std::string_view name) {
  return name.find_first_of(kWindowsReserved) != std::string_view::npos ||
         (!name.empty() && name.back() == '.') || stringContainsEmoji(name);
}

std::string changeWindwosErrorName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (kWindowsReserved.find(c) != std::string_view::npos) {
      c = '_';
    }
  }
  if (!out.empty() && out.back() == '.') {
    out.back() = '_';
  }
  return changeContainsEmoji(out);
}

bool illegalInWindows(std::string_view text) {
  return text.find_first_of(kIllegalInWindows) != std::string_view::npos;
}

bool findspace(std::string_view path) {
  const std::string_view name = lastComponent(path);
  return !name.empty() && (name.front() == ' ' || name.back() == ' ');
}

std::string replacespace(std::string_view path) {
  std::string_view name = lastComponent(path);
  const size_t nameStart = static_cast<size_t>(name.data() - path.data());
  while (!name.empty() && name.front() == ' ') {
    name.remove_prefix(1);
  }
  while (!name.empty() && name.back() == ' ') {
    name.remove_suffix(1);
  }
  const std::string component = name.empty() ? "_" : std::string(name);
  if (nameStart == 0) {
    return component;
  }
  std::string_view parent = path.substr(0, nameStart - 1);
  while (parent.size() > 1 && parent.back() == '/') {
    parent.remove_suffix(1);
  }
  if (parent.empty() || parent == "/") {
    return "/" + component;
  }
  return std::string(parent) + "/" + component;
}

}  // namespace nb::Util
