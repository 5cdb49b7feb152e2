#pragma once

#include <string_view>

namespace nb::messagedb {

// The usage text of a message store command; "" gives the general text
// that lists every command. A command without a usage text gives "".
std::string_view usageText(std::string_view command);

}  // namespace nb::messagedb
