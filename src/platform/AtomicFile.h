#pragma once
// Replacing a small file whole: readers see the old contents or the new ones,
// never a torn mix, and a crash mid-write leaves the old file in place.

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace nb::platform {

// Writes `bytes` to a temporary file beside `path` (same folder, so the
// rename stays on one file system), syncs it, gives it `mode` and renames it
// over `path`. The folder must exist. False, with nothing changed, on failure.
bool writeFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0644);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);

}  // namespace nb::platform
