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

// The user's own writable copy of the program's resources folder:
// configFolder()/resources. Its "UI" folder holds the enterprise file
// templates, one file per content hash (the configuration folder's own "UI"
// holds the unpacked pages). Not created here.
std::filesystem::path userResourcesFolder();

// userResourcesFolder()/UI: where template files are fetched to and read from.
std::filesystem::path templateFolder();

// The read-only data installed with the program (language tables,
// server.json, ...): <prefix>/share/nubren beside the executable's bin folder
// when that exists, else the source tree's data folder (development runs and
// tests). Never empty.
std::filesystem::path installDataFolder();

}  // namespace nb::platform
