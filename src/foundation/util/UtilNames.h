#pragma once
// Checks and repairs of file names that another system would reject:
// reserved characters, a trailing dot, emoji, leading and trailing spaces.
// Pure functions, callable from any thread. Texts are UTF-8; invalid UTF-8
// is read as U+FFFD.

#include <string>
#include <string_view>

namespace nb::Util {

// True when any user-perceived character (grapheme cluster) of the text is
// an emoji by the fixed ranges of the service's clients (see UtilNames.cpp).
bool stringContainsEmoji(std::string_view text);
bool stringContainsEmoji(std::u16string_view text);

// The text with every emoji cluster replaced by one "_".
std::string changeContainsEmoji(std::string_view text);

// True when the name holds an emoji, one of < > | ? : \ " * LF CR TAB, or
// ends with ".".
bool isWindowsErrorName(std::string_view name);

// Each of those eleven characters becomes "_", then a final "." (only the
// last character) becomes "_", then every emoji cluster becomes "_".
std::string changeWindwosErrorName(std::string_view name);

// True when the text holds one of / \ " * : < > ? |.
bool illegalInWindows(std::string_view text);

// True when the last component of the path begins or ends with a space.
bool findspace(std::string_view path);

// The path with its last component stripped of leading and trailing spaces
// ("_" when nothing is left). A path without a parent gives the bare
// component; a component right under "/" stays under it ("/name").
std::string replacespace(std::string_view path);

}  // namespace nb::Util
