#pragma once
// Turns new content into a block-level delta against the storage server's
// earlier version. The server lists its version as fixed-length blocks, each
// with a weak rolling checksum (zlib Adler-32) and an MD5 digest; a rolling
// window over the new content finds the windows equal to a server block.
// What comes out: the match records (10 bytes each: the window's offset in
// the new file, u64 LE, and the server block's index, u16 LE) and the delta
// data, the bytes that matched nothing, in file order. The server rebuilds
// the file by walking it: at a record's offset the server block, elsewhere
// the next delta bytes.
//
// The content is scanned from its file through a bounded buffer, so memory
// does not grow with the file.
//
// Thread-safety: none; one matcher per upload session.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace nb {

struct ServerItem {
  std::uint64_t offset = 0;  // of the matched window in the new file
  std::uint16_t index = 0;   // of the block in the server's list
};

struct InfoItem {
  std::string MD5;  // 16 raw bytes
  std::uint16_t index = 0;
};

class UploadFile {
 public:
  // Blocks a 16-bit index can name; a longer server list gives no delta.
  static constexpr std::size_t kMaxBlocks = 65536;

  // The block length, from the session's piecelen; set before matching.
  void setPiece(std::int32_t piece) { piece_ = piece; }
  std::int32_t piece() const { return piece_; }

  // Loads the server's checksum list: n 4-byte LE weak sums, then n 16-byte
  // MD5 digests. False when its length is 0 or not a multiple of 20. Of
  // blocks with equal weak sums only the last can match.
  bool resolve_serverinof(std::string_view checksums);

  // Scans the content of `newfile` (a readable descriptor, read from offset
  // 0, `size` bytes) and writes the delta data to `diffile` from offset 0.
  // False means no delta is to be used: nothing matched in the first two
  // thirds, the block length is not positive, the server list has more
  // blocks than an index can name, or reading or writing failed.
  bool resolve_file(int newfile, std::uint64_t size, int diffile);

  // The packed match records; nothing when nothing matched.
  std::optional<std::string> get_serverhave() const;
  const std::vector<ServerItem>& serverhave() const { return serverhave_; }

  // zlib's Adler-32 of a window; 1 for an empty one.
  static std::uint32_t alder32(const unsigned char* data, std::size_t length);
  // The sum of the window moved one byte on: `out` leaves, `in` enters.
  static std::uint32_t rolling32(std::uint32_t sum, unsigned char out, unsigned char in,
                                 std::uint64_t length);

 private:
  class Scan;

  std::int32_t piece_ = 0;
  std::size_t blocks_ = 0;  // in the loaded server list
  std::vector<ServerItem> serverhave_;
  std::unordered_map<std::uint32_t, InfoItem> serverinfo_;
};

}  // namespace nb
