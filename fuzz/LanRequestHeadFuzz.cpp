// libFuzzer target for the LAN file server's request head: whatever the
// bytes, the parser waits, refuses or takes one head that ends inside them;
// a hash it takes is a content hash, a range it takes is sane, and the Host
// it echoes carries no line break into the reply.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "transfer/lan/LanRequestHead.h"

namespace {

void check(bool ok) {
  if (!ok) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nb::platform::logger()->set_level(spdlog::level::off);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const nb::lan::LanHeadResult result = nb::lan::parseLanRequestHead(input);
  using Status = nb::lan::LanHeadResult::Status;
  if (result.status == Status::kTooLarge) {
    check(input.size() >= nb::lan::kLanMaxRequestHead);
    return 0;
  }
  if (result.status == Status::kIncomplete) {
    check(input.size() < nb::lan::kLanMaxRequestHead);
    return 0;
  }
  check(result.consumed >= 4 && result.consumed <= input.size() &&
        result.consumed <= nb::lan::kLanMaxRequestHead);
  check(input.substr(result.consumed - 4, 4) == "\r\n\r\n");
  const nb::lan::LanRequest& request = result.request;
  check(request.filehash.empty() || nb::isContentHash(request.filehash));
  check(request.download || request.filehash.empty());
  check(request.host.find_first_of("\r\n") == std::string::npos);
  if (request.range == nb::lan::LanRequest::Range::kValid) {
    check(request.begin >= 0 && (request.end == -1 || request.end >= request.begin));
  }
  const std::string reply = nb::lan::lanReplyRange(request.host, "d", 0, 0);
  check(reply.find("\r\n\r\n") == reply.size() - 4);
  return 0;
}
