#include "transfer/lan/LanPeer.h"

#include "transfer/engine/Network.h"

namespace nb::lan {

JsonValue LanPeer::toNotice() const {
  if (!partial) return JsonValue::array({url, filehash});
  return JsonValue::array({url, filehash, JsonValue(static_cast<std::int64_t>(userid)), have,
                           JsonValue(bHttpStart), JsonValue(bHttpAble)});
}

LanPeerSink downloadManagerPeerSink() {
  return [](const LanPeer& peer) {
    transfer::Network::shareNetwork().dManager().AddUdpPeer(peer.toNotice());
  };
}

}  // namespace nb::lan
