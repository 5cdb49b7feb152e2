#pragma once
// Small texts and limits shown around transfers. Pure; safe from any thread.

#include <cstdint>
#include <string>

namespace nb::Util {

// Files above this many bytes (500 MiB) count as over the limit.
inline constexpr uint64_t kFileSizeLimit = 524'288'000;

// "%.2f K/S" of the speed / 1024 up to and including 1,048,576 bytes per
// second, else "%.2f M/S" of the speed / 1048576, in single precision.
std::string GetSpeedString(uint64_t bytesPerSecond);

// Yes when `size` (bytes) is above kFileSizeLimit.
bool filesizeoverlimit(uint64_t size);

}  // namespace nb::Util
