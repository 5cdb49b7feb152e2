#pragma once
// The storage server's half of a block-level delta, as the fake storage
// server and the delta tests play it: the checksum list of the version it
// holds, and the rebuild of the new version from its blocks, the client's
// match records and the delta data.

#include <cstdint>
#include <optional>
#include <string>

namespace nb::test {

// n weak sums (zlib Adler-32, u32 LE) then n raw MD5 digests, one per block
// of `piecelen` bytes; the last block may be shorter. Empty for no content.
std::string blockChecksumList(const std::string& content, std::uint64_t piecelen);

// Walks the new file: at each record's offset (u64 LE, then u16 LE index) a
// whole server block, elsewhere the next delta bytes. Nothing when a record
// is malformed, out of order, names a missing or short block, or when delta
// bytes are left over or run short of `newSize`.
std::optional<std::string> rebuildFromDelta(const std::string& old, std::uint64_t piecelen,
                                            const std::string& records, const std::string& delta,
                                            std::uint64_t newSize);

}  // namespace nb::test
