#pragma once
// One inclusive range of byte positions of a file; a one-byte range has both
// marks equal.

#include <cstdint>

namespace nb {

struct DataPair {
  std::uint64_t ullFirstMark = 0;
  std::uint64_t ullLastMark = 0;

  DataPair() = default;
  DataPair(std::uint64_t first, std::uint64_t last) : ullFirstMark(first), ullLastMark(last) {}

  friend bool operator==(const DataPair&, const DataPair&) = default;
};

}  // namespace nb
