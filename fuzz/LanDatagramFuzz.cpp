// libFuzzer target for the discovery datagrams: the input is cut into
// datagrams (each led by a length byte) and fed to the receive buffer, from
// a stranger or from an own address as the length byte's top bit says.
// Whatever comes, the buffer never holds more than its 65,535 bytes, every
// message it lets out is well formed, and each encodes back to a datagram
// that decodes to the same message.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "transfer/lan/LanDatagram.h"

namespace {

void check(bool ok) {
  if (!ok) {
    __builtin_trap();
  }
}

void checkMessage(const nb::lan::LanMessage& message) {
  check(nb::isContentHash(message.filehash));
  check(message.port >= 1 && message.port <= 65535);
  check(message.address.size() <= nb::lan::kLanAddressField);
  const auto again = nb::lan::decodeLanMessage(nb::lan::encodeLanMessage(message));
  check(again.status == nb::lan::LanDecodeResult::Status::kMessage);
  check(again.message.filehash == message.filehash && again.message.have == message.have &&
        again.message.port == message.port && again.message.userid == message.userid);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nb::platform::logger()->set_level(spdlog::level::off);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto whole = nb::lan::decodeLanMessage(input);
  if (whole.status == nb::lan::LanDecodeResult::Status::kMessage) {
    check(whole.consumed <= input.size());
    checkMessage(whole.message);
  }
  nb::lan::LanDatagramBuffer buffer;
  while (!input.empty()) {
    const auto lead = static_cast<std::uint8_t>(input.front());
    input.remove_prefix(1);
    // Lengths up to 127 bytes, times 512 when bit 6 is set, so that whole
    // buffers fill up too.
    std::size_t length = lead & 0x3F;
    if (lead & 0x40) length *= 512;
    const std::string_view datagram = input.substr(0, length);
    input.remove_prefix(datagram.size());
    const auto outcome = buffer.push(datagram, (lead & 0x80) != 0);
    check(buffer.held() <= nb::lan::kLanReceiveBuffer);
    if (outcome.message) {
      check((lead & 0x80) == 0);
      checkMessage(*outcome.message);
    }
  }
  return 0;
}
