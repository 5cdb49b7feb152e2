#pragma once
// Seeded random content for tests that move files: the same seed gives the
// same bytes, so a failure repeats.

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace nb::test {

inline std::string randomBytes(std::mt19937_64& random, std::size_t size) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
  return bytes;
}

inline std::string randomBytes(std::uint64_t seed, std::size_t size) {
  std::mt19937_64 random(seed);
  return randomBytes(random, size);
}

}  // namespace nb::test
