#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "foundation/text/StringHelpers.h"

namespace nb {

std::string lowercaseString(std::string_view text) {
  std::string lower;
  icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))
      .toLower(icu::Locale::getRoot())
      .toUTF8String(lower);
  return lower;
}

}  // namespace nb
