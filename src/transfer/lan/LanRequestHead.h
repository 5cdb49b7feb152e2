#pragma once
// The request head of the LAN file server and its three reply headers.
// Only the target's "download?filehash=", "Host" and "Range" are looked at;
// the head is buffered to its blank line, and a head that does not end
// within kLanMaxRequestHead bytes is refused.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nb::lan {

inline constexpr std::size_t kLanMaxRequestHead = 8192;

struct LanRequest {
  // The Host value, echoed as the reply's Server; "" when absent or when it
  // holds control characters.
  std::string host;
  // The target asks for "download?filehash=".
  bool download = false;
  // Its value when that is exactly 40 lower-case hex, else "".
  std::string filehash;

  enum class Range { kNone, kValid, kMalformed };
  Range range = Range::kNone;
  std::int64_t begin = 0;  // first byte asked for
  std::int64_t end = -1;   // last byte asked for, inclusive; -1: to the end
};

struct LanHeadResult {
  enum class Status { kIncomplete, kTooLarge, kComplete };
  Status status = Status::kIncomplete;
  std::size_t consumed = 0;  // bytes of the head, blank line included
  LanRequest request;
};

// Looks for one whole head at the start of `buffered`.
LanHeadResult parseLanRequestHead(std::string_view buffered);

// Reply headers. `date` is the RFC 1123 date; `server` the requester's Host.
std::string lanReplyWhole(const std::string& server, const std::string& date,
                          std::uint64_t size);
// Bytes first..last inclusive; the total after the slash is the length of
// the range, as peers expect.
std::string lanReplyRange(const std::string& server, const std::string& date,
                          std::uint64_t first, std::uint64_t last);
std::string lanReplyNotFound(const std::string& server, const std::string& date);

}  // namespace nb::lan
