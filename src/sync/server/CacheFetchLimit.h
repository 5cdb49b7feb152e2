#pragma once
// The largest file, in bytes, that the engine fetches into a cache-mode
// folder; larger ones stay on the server and their rows count as in sync.

#include <cstdint>

namespace nb {

inline constexpr uint64_t kCacheFetchLimit = 104'857'600;

}  // namespace nb
