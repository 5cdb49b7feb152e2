#pragma once
// The desktop notice that a transfer the user asked for is complete.

#include <string>
#include <string_view>

namespace nb {

// When the user allows notices: the localized text of `key` with "%@"
// replaced by the last component of `webpath`.
void transferNotice(std::string_view key, const std::string& webpath);

}  // namespace nb
