#pragma once
// Replacing a small file whole: readers see the old contents or the new ones,
// never a torn mix, and a crash mid-write leaves the old file in place.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace nb::platform {

// Writes `bytes` to a temporary file beside `path` (same folder, so the
// rename stays on one file system), syncs it, gives it `mode` and renames it
// over `path`. The folder must exist. False, with nothing changed, on failure.
bool writeFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0644);

// The same with the contents streamed: `fill` writes them to the open
// temporary file descriptor and answers whether it succeeded.
bool writeFileAtomically(const std::string& path, const std::function<bool(int fd)>& fill,
                         mode_t mode = 0644);

// Writes all of `bytes` to `fd`, going on after short writes and signals.
bool writeAll(int fd, std::string_view bytes);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);

}  // namespace nb::platform
