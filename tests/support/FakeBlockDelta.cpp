#include "support/FakeBlockDelta.h"

#include <zlib.h>

#include <algorithm>

#include "foundation/text/StringHelpers.h"

namespace nb::test {
namespace {

void putLe(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t getLe(const std::string& in, std::size_t at, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
  }
  return value;
}

}  // namespace

std::string blockChecksumList(const std::string& content, std::uint64_t piecelen) {
  std::string weak;
  std::string strong;
  for (std::uint64_t at = 0; piecelen > 0 && at < content.size(); at += piecelen) {
    const auto length =
        static_cast<std::size_t>(std::min<std::uint64_t>(piecelen, content.size() - at));
    const auto* bytes = reinterpret_cast<const unsigned char*>(content.data() + at);
    putLe(weak, ::adler32_z(1, bytes, length), 4);
    strong += md5_raw(std::string_view(content).substr(static_cast<std::size_t>(at), length));
  }
  return weak + strong;
}

std::optional<std::string> rebuildFromDelta(const std::string& old, std::uint64_t piecelen,
                                            const std::string& records, const std::string& delta,
                                            std::uint64_t newSize) {
  if (records.size() % 10 != 0 || piecelen == 0) return std::nullopt;
  std::string rebuilt;
  std::size_t used = 0;  // delta bytes taken
  for (std::size_t at = 0; at < records.size(); at += 10) {
    const std::uint64_t offset = getLe(records, at, 8);
    const std::uint64_t index = getLe(records, at + 8, 2);
    if (offset < rebuilt.size()) return std::nullopt;
    const std::uint64_t gap = offset - rebuilt.size();
    if (gap > delta.size() - used) return std::nullopt;
    rebuilt.append(delta, used, static_cast<std::size_t>(gap));
    used += static_cast<std::size_t>(gap);
    const std::uint64_t blockStart = index * piecelen;
    if (blockStart + piecelen > old.size()) return std::nullopt;
    rebuilt.append(old, static_cast<std::size_t>(blockStart), static_cast<std::size_t>(piecelen));
  }
  rebuilt.append(delta, used, std::string::npos);
  if (rebuilt.size() != newSize) return std::nullopt;
  return rebuilt;
}

}  // namespace nb::test
