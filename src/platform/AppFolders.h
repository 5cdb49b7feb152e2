#pragma once
// Where the program finds its user's home and its own read-only data.

#include <filesystem>

namespace nb::platform {

// $HOME when set and not empty, else the home folder of the current user's
// password entry, else "/" (never empty). Read on every call, so a test that
// points HOME elsewhere is seen at once.
std::filesystem::path homeFolder();

// The configuration folder of the user: homeFolder()/.veskocfg. Not created
// here.
std::filesystem::path configFolder();

// The read-only data installed with the program (language tables,
// server.json, ...): <prefix>/share/nubren beside the executable's bin folder
// when that exists, else the source tree's data folder (development runs and
// tests). Never empty.
std::filesystem::path installDataFolder();

}  // namespace nb::platform
