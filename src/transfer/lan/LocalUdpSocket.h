#pragma once
// The discovery socket: it asks the network who holds a content (who-has
// broadcasts, one per address of this host, each carrying that address),
// answers such questions from others while the file server serves, and
// hands every answer it gets to the downloads as a LAN peer.
//
// Answers go to the source address of the question and the port the
// question names, never to an address written inside it. Datagrams from
// this host's own addresses are dropped, and so are those from outside the
// subnets of its interfaces.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Ipv4Interfaces.h"
#include "platform/UniqueFd.h"
#include "transfer/lan/LanContent.h"
#include "transfer/lan/LanDatagram.h"
#include "transfer/lan/LanPeer.h"
#include "transfer/lan/PollLoop.h"

namespace nb::lan {

inline constexpr std::uint16_t kLanUdpPort = 14753;

class LocalUdpSocket {
 public:
  struct Options {
    std::string bindAddress = "0.0.0.0";
    std::uint16_t port = kLanUdpPort;  // 0: any free port (tests)
    // Where questions go. Always the well-known port, also when this
    // socket had to fall back to another: others listen there.
    std::string broadcastAddress = "255.255.255.255";
    std::uint16_t broadcastPort = kLanUdpPort;
    // Loopback addresses are neither asked from nor advertised, except in
    // tests that run everything on loopback.
    bool advertiseLoopback = false;
    std::function<std::vector<platform::Ipv4Interface>()> interfaces;
    std::shared_ptr<LanContent> content;
    // The file server listens and the "local" setting is on.
    std::function<bool()> answering;
    // The file server's port, advertised in answers.
    std::function<std::int64_t()> httpPort;
    // The signed-in user, advertised in partial answers (low 32 bits).
    std::function<std::int64_t()> userID;
    // LAN use is switched on (asking only).
    std::function<bool()> lanUse;
    LanPeerSink onPeer;
  };

  // Binds (createWithPort) and starts the receiving thread.
  explicit LocalUdpSocket(Options options);
  ~LocalUdpSocket();
  LocalUdpSocket(const LocalUdpSocket&) = delete;
  LocalUdpSocket& operator=(const LocalUdpSocket&) = delete;

  bool bCreate() const { return bCreate_.load(); }
  std::int64_t nPort() const { return nPort_.load(); }

  // Sends the who-has question for a content hash. Nothing is sent without
  // a socket, for a hash that is not a content hash or is the empty
  // content's, or while LAN use is off. Safe from any thread.
  void checkFileHash(const std::string& filehash);

 private:
  bool createWithPort(std::uint16_t port);
  bool createUdpSocketWithPort(std::uint16_t port);
  void receiveAll();
  void onDatagram(std::string_view bytes, std::uint32_t sender);
  void answer(const LanMessage& question, std::uint32_t sender);
  std::vector<platform::Ipv4Interface> advertised() const;

  const Options options_;
  std::atomic<bool> bCreate_{false};
  std::atomic<std::int64_t> nPort_{0};
  std::optional<platform::UniqueFd> socket_;

  // Receiving thread only.
  LanDatagramBuffer buffer_;

  // Last: its thread uses everything above.
  PollLoop loop_;
};

}  // namespace nb::lan
