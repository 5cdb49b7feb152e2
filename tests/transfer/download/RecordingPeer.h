#pragma once
// A download source that schedules without a network: StartDownload keeps
// its bookkeeping and records the range instead of sending a request.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "transfer/download/DownloadPeer.h"
#include "transfer/download/DownloadServices.h"

namespace nb::test {

class RecordingPeer final : public DownloadPeer {
 public:
  using DownloadPeer::DownloadPeer;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> started;

 protected:
  void startRequest(std::uint64_t first, std::uint64_t last) override {
    started.emplace_back(first, last);
  }
};

inline void useRecordingPeers(DownloadServices& services) {
  services.makePeer = [](std::weak_ptr<DownloadSink> sink, const std::string& url,
                         const std::string& have, std::uint64_t size, bool udp) {
    return std::make_shared<RecordingPeer>(std::move(sink), url, have, size, udp);
  };
}

}  // namespace nb::test
