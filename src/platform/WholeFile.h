#pragma once
// Reading a whole file, and replacing one so that a reader, or the next
// start after a crash, sees either the old content or the new one, never a
// part.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace nb::platform {

// The bytes of a regular file; nothing when it is missing, not a regular file
// or unreadable (the last is logged). Opens for reading only, so a read-only
// installed file is read like any other.
std::optional<std::string> readWholeFile(const std::filesystem::path& file);

// Writes `bytes` to a fresh file beside `path`, flushes it to disk, renames
// it over `path` and flushes the folder. The folder must exist. False (and
// `path` untouched, the temporary file removed) on any failure. New files get
// mode 0600. Safe from any thread; two writers of one path leave one of the
// two contents whole.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace nb::platform
