#include "transfer/delta/UploadFile.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>

#include "foundation/text/StringHelpers.h"
#include "platform/Log.h"

namespace nb {
namespace {

constexpr std::uint32_t kAdlerBase = 65521;
constexpr std::size_t kWeakBytes = 4;
constexpr std::size_t kDigestBytes = 16;
constexpr std::size_t kRecordBytes = 10;
// What one read of the new content brings in beyond the window.
constexpr std::size_t kReadChunk = 4 * 1024 * 1024;

std::uint32_t readLe32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t modAdler(std::int64_t value) {
  const std::int64_t rest = value % kAdlerBase;
  return static_cast<std::uint32_t>(rest < 0 ? rest + kAdlerBase : rest);
}

}  // namespace

// A window onto the new content that reads ahead in chunks and drops what
// lies behind, and the writer of the delta data.
class UploadFile::Scan {
 public:
  Scan(int in, std::uint64_t size, int out, std::size_t piece)
      : in_(in), size_(size), out_(out), chunk_(std::max(kReadChunk, piece)) {}

  bool holds(std::uint64_t to) const { return end() >= to; }

  // Makes [keepFrom, to) available (to <= size); bytes before keepFrom may
  // go. False when reading fails.
  bool ensure(std::uint64_t keepFrom, std::uint64_t to) {
    if (holds(to)) return true;
    const std::size_t drop = static_cast<std::size_t>(keepFrom - base_);
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(drop));
    base_ = keepFrom;
    const std::uint64_t want = std::min<std::uint64_t>(size_, std::max(to, end() + chunk_));
    std::size_t have = buffer_.size();
    buffer_.resize(static_cast<std::size_t>(want - base_));
    while (base_ + have < want) {
      const ssize_t got = ::pread(in_, buffer_.data() + have, buffer_.size() - have,
                                  static_cast<off_t>(base_ + have));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;  // an error, or the file shrank under us
      have += static_cast<std::size_t>(got);
    }
    return true;
  }

  const unsigned char* at(std::uint64_t pos) const {
    return buffer_.data() + static_cast<std::size_t>(pos - base_);
  }

  // Appends the content bytes [from, to), which must be available.
  bool emit(std::uint64_t from, std::uint64_t to) {
    const unsigned char* p = at(from);
    std::uint64_t left = to - from;
    while (left > 0) {
      const ssize_t put = ::pwrite(out_, p, static_cast<std::size_t>(left),
                                   static_cast<off_t>(written_));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      p += put;
      left -= static_cast<std::uint64_t>(put);
      written_ += static_cast<std::uint64_t>(put);
    }
    return true;
  }

 private:
  std::uint64_t end() const { return base_ + buffer_.size(); }

  const int in_;
  const std::uint64_t size_;
  const int out_;
  const std::size_t chunk_;
  std::uint64_t base_ = 0;  // content position of buffer_[0]
  std::vector<unsigned char> buffer_;
  std::uint64_t written_ = 0;
};

bool UploadFile::resolve_serverinof(std::string_view checksums) {
  serverinfo_.clear();
  serverhave_.clear();
  blocks_ = 0;
  const std::size_t entry = kWeakBytes + kDigestBytes;
  if (checksums.empty() || checksums.size() % entry != 0) return false;
  blocks_ = checksums.size() / entry;
  const auto* bytes = reinterpret_cast<const unsigned char*>(checksums.data());
  for (std::size_t i = 0; i < blocks_; ++i) {
    InfoItem info;
    info.MD5.assign(checksums.substr(kWeakBytes * blocks_ + kDigestBytes * i, kDigestBytes));
    info.index = static_cast<std::uint16_t>(i);
    serverinfo_[readLe32(bytes + kWeakBytes * i)] = std::move(info);
  }
  return true;
}

bool UploadFile::resolve_file(int newfile, std::uint64_t size, int diffile) {
  serverhave_.clear();
  if (piece_ <= 0 || blocks_ > kMaxBlocks) return false;
  const auto piece = static_cast<std::uint64_t>(piece_);
  try {
    Scan scan(newfile, size, diffile, static_cast<std::size_t>(piece));
    const std::uint64_t threshold = 2 * size / 3;
    std::uint64_t pos = 0;
    std::uint64_t gap = 0;  // first byte neither written nor matched
    bool fresh = true;
    std::uint32_t sum = 0;
    for (;;) {
      if (pos + piece >= size) {
        return gap >= size || (scan.ensure(gap, size) && scan.emit(gap, size));
      }
      if (pos > threshold && serverhave_.empty()) return false;
      const std::uint64_t keep = fresh ? pos : pos - 1;
      if (!scan.holds(pos + piece)) {
        // Out of buffer: what lies before pos is delta data for good, so it
        // goes out now and the buffer keeps only the window.
        if (pos > gap && !scan.emit(gap, pos)) return false;
        gap = pos;
        if (!scan.ensure(keep, pos + piece)) return false;
      }
      sum = fresh ? alder32(scan.at(pos), static_cast<std::size_t>(piece))
                  : rolling32(sum, *scan.at(pos - 1), *scan.at(pos + piece - 1), piece);
      fresh = false;
      const auto found = serverinfo_.find(sum);
      if (found != serverinfo_.end() &&
          md5_raw(std::string_view(reinterpret_cast<const char*>(scan.at(pos)),
                                   static_cast<std::size_t>(piece))) == found->second.MD5) {
        serverhave_.push_back(ServerItem{pos, found->second.index});
        if (pos > gap && !scan.emit(gap, pos)) return false;
        pos += piece;
        gap = pos;
        fresh = true;
      } else {
        ++pos;
      }
    }
  } catch (const std::exception& e) {
    NBLOG_ERROR("delta scan failed: {}", e.what());
    return false;
  }
}

std::optional<std::string> UploadFile::get_serverhave() const {
  if (serverhave_.empty()) return std::nullopt;
  std::string records;
  records.reserve(serverhave_.size() * kRecordBytes);
  for (const ServerItem& item : serverhave_) {
    for (int shift = 0; shift < 64; shift += 8) {
      records += static_cast<char>((item.offset >> shift) & 0xFF);
    }
    records += static_cast<char>(item.index & 0xFF);
    records += static_cast<char>(item.index >> 8);
  }
  return records;
}

std::uint32_t UploadFile::alder32(const unsigned char* data, std::size_t length) {
  return static_cast<std::uint32_t>(::adler32_z(1, data, length));
}

std::uint32_t UploadFile::rolling32(std::uint32_t sum, unsigned char out, unsigned char in,
                                    std::uint64_t length) {
  const std::int64_t a = sum & 0xFFFF;
  const std::int64_t b = sum >> 16;
  const std::uint32_t a2 = modAdler(a - out + in);
  const std::int64_t lengthMod = static_cast<std::int64_t>(length % kAdlerBase);
  const std::uint32_t b2 = modAdler(b - lengthMod * out + a2 - 1);
  return a2 + (b2 << 16);
}

}  // namespace nb
