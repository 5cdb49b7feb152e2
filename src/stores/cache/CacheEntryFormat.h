#pragma once
// The content cache's entry file, byte for byte as other installs write and
// read it:
//   offset  0, 16 bytes  marker 48 B6 36 60 8D DF 13 4E FE B1 D6 EB 4E 81 00 00
//   offset 16,  8 bytes  body length, unsigned little-endian
//   offset 24,  8 bytes  zero
//   offset 32            the content enciphered with RC4 under the key text's
//                        ASCII bytes (the body is as long as the content)
// A reader takes everything after byte 32 as the body and ignores the length.
// Internal to the content cache; callers serialise work on one path.

#include <array>
#include <cstdint>
#include <string>

namespace nb {

inline constexpr std::array<std::uint8_t, 16> kCacheMarker = {
    0x48, 0xB6, 0x36, 0x60, 0x8D, 0xDF, 0x13, 0x4E,
    0xFE, 0xB1, 0xD6, 0xEB, 0x4E, 0x81, 0x00, 0x00};
inline constexpr std::size_t kCacheHeaderSize = 32;

// Both directions write to `<destination>.nbcopy` first and move that over
// the destination only when it is complete; a failure leaves the
// destination as it was and removes the temporary file. A folder standing
// at the destination is never removed: the call fails instead.

// Writes the entry `entry` from the file `source`. False when the source
// cannot be read or the entry cannot be written.
bool writeCacheEntry(const std::string& source, const std::string& entry, const std::string& key);

enum class CacheReadResult {
  kDone,         // the target holds the content
  kFailed,       // nothing could be read or written; the target is unchanged
  kNotVerified,  // the deciphered content's SHA-1 does not occur in the entry path
};

// Produces the content of `entry` at `target`. An empty entry, or a header
// alone, gives an empty target; an entry shorter than the header or without
// the marker is a plain copy of the content and is copied unchanged. An
// enciphered entry is deciphered aside and must hash to a SHA-1 that occurs
// in the entry's path before it replaces the target.
CacheReadResult readCacheEntry(const std::string& entry, const std::string& target,
                               const std::string& key);

}  // namespace nb
