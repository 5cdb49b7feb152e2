#pragma once
// Reading a whole file, and replacing one so that a reader, or the next start
// after a crash, sees either the old content or the new one, never a part.

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace nb::platform {

// Writes `bytes` to a fresh file beside `path` (same folder, so the rename
// stays on one file system), gives it `mode`, flushes it to disk, renames it
// over `path` and flushes the folder. The folder must exist. False, with
// `path` untouched and the temporary file removed, on any failure. Safe from
// any thread; two writers of one path leave one of the two contents whole.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         mode_t mode = 0600);

// The same with the contents streamed: `fill` writes them to the open
// temporary file descriptor and answers whether it succeeded.
bool writeFileAtomically(const std::filesystem::path& path,
                         const std::function<bool(int fd)>& fill, mode_t mode = 0600);

// Writes all of `bytes` to `fd`, going on after short writes and signals.
bool writeAll(int fd, std::string_view bytes);

// The bytes of a regular file; nothing when it is missing, not a regular file
// or unreadable (the last is logged). Opens for reading only, so a read-only
// installed file is read like any other.
std::optional<std::string> readWholeFile(const std::filesystem::path& file);

}  // namespace nb::platform
