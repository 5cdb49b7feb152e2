#pragma once
// The discovery datagrams: who-has (a client asks for a content hash), have
// (the answerer holds the whole content) and partial (the answerer is still
// downloading it and says which byte ranges it holds). Every message starts
// with the same 8-byte header; numbers are little-endian.
//
// LanDatagramBuffer joins messages that arrive split over several datagrams
// and takes at most one message per arriving datagram. Everything here reads
// bytes from the network: no length is trusted before it was checked
// against what is held.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nb::lan {

enum class LanMessageType : std::uint8_t { kWhoHas = 1, kHave = 2, kPartial = 3 };

inline constexpr std::size_t kLanHeaderSize = 8;
inline constexpr std::size_t kLanQuerySize = 68;     // who-has and have
inline constexpr std::size_t kLanPartialFixed = 78;  // partial without its have text
inline constexpr std::size_t kLanReceiveBuffer = 65535;
inline constexpr std::size_t kLanAddressField = 16;  // bytes 48-63

struct LanMessage {
  LanMessageType type = LanMessageType::kWhoHas;
  std::string filehash;  // always a content hash (40 lower-case hex)
  std::string address;   // the dotted text in bytes 48-63 (informative only)
  std::uint32_t port = 0;  // 1-65535: UDP port of an asker, HTTP port of an answerer
  // Partial answers only.
  bool bHttpStart = false;
  bool bHttpAble = false;
  std::int32_t userid = 0;
  std::string have;  // "a-b,c-d"
};

// The datagram bytes of a message. `address` longer than 16 bytes is cut.
std::string encodeLanMessage(const LanMessage& message);

// One message from the start of `bytes`, which must hold it whole.
struct LanDecodeResult {
  enum class Status {
    kNeedMore,    // a known header, but not all of its message yet
    kMessage,     // `message` is valid; `consumed` bytes belong to it
    kSkip,        // a whole message that must be dropped (bad hash, port or text)
    kBadHeader,   // not one of the three headers: the buffer is junk
    kBadLength,   // a partial whose have length is negative or cannot fit
  };
  Status status = Status::kNeedMore;
  std::size_t consumed = 0;
  LanMessage message;
};
LanDecodeResult decodeLanMessage(std::string_view bytes);

// The receive buffer of the discovery socket.
class LanDatagramBuffer {
 public:
  // What one arriving datagram produced.
  struct Outcome {
    std::optional<LanMessage> message;  // set when a message was taken
    bool cleared = false;               // the held bytes were dropped
  };

  // Appends a datagram from `fromOwnAddress` (one of this host's addresses)
  // and takes at most one message. A message from an own address empties
  // the buffer; so do an unknown header, an impossible partial length and a
  // datagram that would not fit after the bytes held (then only it is kept).
  Outcome push(std::string_view datagram, bool fromOwnAddress);

  std::size_t held() const { return held_.size(); }

 private:
  std::string held_;
};

}  // namespace nb::lan
