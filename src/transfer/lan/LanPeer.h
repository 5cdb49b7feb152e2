#pragma once
// One LAN source of some content, as a discovery answer announces it, and
// its hand-over to the download of that content.

#include <cstdint>
#include <functional>
#include <string>

#include "foundation/json/JsonValue.h"

namespace nb::lan {

struct LanPeer {
  std::string url;       // "http://<sender ip>:<port>/download?filehash=<hash>"
  std::string filehash;
  bool partial = false;  // a running download: the fields below apply
  std::int32_t userid = 0;
  std::string have;
  bool bHttpStart = false;
  bool bHttpAble = false;

  // The notice the download manager takes: [url, hash] or
  // [url, hash, userid, have, bHttpStart, bHttpAble].
  JsonValue toNotice() const;
};

// Where found peers go; called on the discovery thread.
using LanPeerSink = std::function<void(const LanPeer&)>;

// Hands each peer to the running download of its content through the
// process-wide download manager.
LanPeerSink downloadManagerPeerSink();

}  // namespace nb::lan
