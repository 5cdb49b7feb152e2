#include "transfer/lan/LanDatagram.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/Ipv4Interfaces.h"
#include "stores/cache/SyncCache.h"

namespace nb::lan {
namespace {

constexpr std::array<std::uint8_t, 6> kMagic = {0x00, 0x35, 0x2B, 0x2E, 0x35, 0x39};
constexpr std::size_t kHashOffset = 8;
constexpr std::size_t kHashSize = 40;
constexpr std::size_t kAddressOffset = 48;
constexpr std::size_t kPortOffset = 64;

void putU32(std::string& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t getU32(std::string_view in, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= std::uint32_t{static_cast<std::uint8_t>(in[at + i])} << (8 * i);
  return value;
}

std::optional<LanMessageType> headerType(std::string_view bytes) {
  if (bytes.size() < kLanHeaderSize) return std::nullopt;
  const auto type = static_cast<std::uint8_t>(bytes[0]);
  if (type < 1 || type > 3) return std::nullopt;
  for (std::size_t i = 0; i < kMagic.size(); ++i) {
    if (static_cast<std::uint8_t>(bytes[1 + i]) != kMagic[i]) return std::nullopt;
  }
  if (bytes[7] != 0) return std::nullopt;
  return static_cast<LanMessageType>(type);
}

std::size_t fixedSize(LanMessageType type) {
  return type == LanMessageType::kPartial ? kLanPartialFixed : kLanQuerySize;
}

// The have text goes to the download as a range list; only its alphabet is
// let through here.
bool isHaveText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == ',';
  });
}

std::string addressField(std::string_view bytes) {
  const std::string_view field = bytes.substr(kAddressOffset, kLanAddressField);
  const std::string text(field.substr(0, std::min(field.find('\0'), field.size())));
  return platform::parseIpv4(text) ? text : std::string();
}

}  // namespace

std::string encodeLanMessage(const LanMessage& message) {
  const bool partial = message.type == LanMessageType::kPartial;
  std::string out(fixedSize(message.type) + (partial ? message.have.size() : 0), '\0');
  out[0] = static_cast<char>(message.type);
  std::memcpy(out.data() + 1, kMagic.data(), kMagic.size());
  std::memcpy(out.data() + kHashOffset, message.filehash.data(),
              std::min(message.filehash.size(), kHashSize));
  std::memcpy(out.data() + kAddressOffset, message.address.data(),
              std::min(message.address.size(), kLanAddressField));
  putU32(out, kPortOffset, message.port);
  if (partial) {
    out[68] = message.bHttpStart ? 1 : 0;
    out[69] = message.bHttpAble ? 1 : 0;
    putU32(out, 70, static_cast<std::uint32_t>(message.userid));
    putU32(out, 74, static_cast<std::uint32_t>(message.have.size()));
    std::memcpy(out.data() + kLanPartialFixed, message.have.data(), message.have.size());
  }
  return out;
}

LanDecodeResult decodeLanMessage(std::string_view bytes) {
  using Status = LanDecodeResult::Status;
  LanDecodeResult result;
  if (bytes.size() < kLanHeaderSize) return result;
  const auto type = headerType(bytes);
  if (!type) return {Status::kBadHeader, 0, {}};
  std::size_t size = fixedSize(*type);
  if (bytes.size() < size) return result;
  if (*type == LanMessageType::kPartial) {
    const auto length = static_cast<std::int32_t>(getU32(bytes, 74));
    if (length < 0 || kLanPartialFixed + static_cast<std::size_t>(length) > kLanReceiveBuffer) {
      return {Status::kBadLength, 0, {}};
    }
    size += static_cast<std::size_t>(length);
    if (bytes.size() < size) return result;
  }
  result.consumed = size;
  LanMessage& message = result.message;
  message.type = *type;
  message.filehash = std::string(bytes.substr(kHashOffset, kHashSize));
  message.address = addressField(bytes);
  message.port = getU32(bytes, kPortOffset);
  if (*type == LanMessageType::kPartial) {
    message.bHttpStart = bytes[68] != 0;
    message.bHttpAble = bytes[69] != 0;
    message.userid = static_cast<std::int32_t>(getU32(bytes, 70));
    message.have = std::string(bytes.substr(kLanPartialFixed, size - kLanPartialFixed));
  }
  const bool valid = isContentHash(message.filehash) && message.port >= 1 &&
                     message.port <= 65535 && isHaveText(message.have);
  result.status = valid ? Status::kMessage : Status::kSkip;
  return result;
}

LanDatagramBuffer::Outcome LanDatagramBuffer::push(std::string_view datagram,
                                                   bool fromOwnAddress) {
  Outcome outcome;
  if (datagram.empty()) return outcome;
  if (datagram.size() > kLanReceiveBuffer) {
    // Larger than any message can be: nothing in it is worth keeping.
    held_.clear();
    outcome.cleared = true;
    return outcome;
  }
  if (held_.size() + datagram.size() > kLanReceiveBuffer) {
    held_.clear();
    outcome.cleared = true;
  }
  held_.append(datagram);
  const auto type = headerType(held_);
  if (held_.size() < kLanHeaderSize) return outcome;
  if (!type) {
    held_.clear();
    outcome.cleared = true;
    return outcome;
  }
  if (held_.size() < fixedSize(*type)) return outcome;
  if (fromOwnAddress) {
    held_.clear();
    outcome.cleared = true;
    return outcome;
  }
  LanDecodeResult decoded = decodeLanMessage(held_);
  using Status = LanDecodeResult::Status;
  switch (decoded.status) {
    case Status::kNeedMore:
      return outcome;
    case Status::kBadHeader:
    case Status::kBadLength:
      held_.clear();
      outcome.cleared = true;
      return outcome;
    case Status::kSkip:
      held_.erase(0, decoded.consumed);
      return outcome;
    case Status::kMessage:
      held_.erase(0, decoded.consumed);
      outcome.message = std::move(decoded.message);
      return outcome;
  }
  return outcome;
}

}  // namespace nb::lan
