#pragma once
// The system's os-release description and the KEY=value files of its shape
// (machine-info among them).

#include <string>
#include <string_view>

namespace nb::platform {

// The value of the first KEY=value line for `key` in `text`, one pair of
// matching quotes around it taken off; "" when no line names the key.
std::string keyValueField(std::string_view text, std::string_view key);

// The whole text of `path`; "" when it cannot be read.
std::string readKeyValueFile(const std::string& path);

// The text of /etc/os-release, else of /usr/lib/os-release; "" when neither
// can be read.
std::string osReleaseText();

}  // namespace nb::platform
