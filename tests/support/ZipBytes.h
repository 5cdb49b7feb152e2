#pragma once
// Zip archives made in memory for tests (packages, program archives).

#include <string>
#include <utility>
#include <vector>

namespace nb::test {

// (entry name, bytes) in order; a name ending in "/" is a folder.
using ZipEntries = std::vector<std::pair<std::string, std::string>>;

// The bytes of a zip holding `entries`, names taken as given (so a test can
// make hostile ones). Throws std::runtime_error when libzip fails.
std::string zipBytes(const ZipEntries& entries);

}  // namespace nb::test
