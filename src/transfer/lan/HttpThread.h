#pragma once
// The LAN service of the process: the file server (HttpListen) and the
// discovery socket (LocalUdpSocket), each on a thread of its own. There is
// one for the whole process, not one per sign-in; the discovery socket is
// made with it, the file server runs only while the "local" setting is on
// (checkHttp starts or stops it).
//
// Thread-safety: every member may be called from any thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "api/session/LanService.h"
#include "platform/Ipv4Interfaces.h"
#include "transfer/lan/HttpListen.h"
#include "transfer/lan/LanContent.h"
#include "transfer/lan/LanPeer.h"
#include "transfer/lan/LocalUdpSocket.h"

namespace nb::lan {

class HttpThread final : public LanService {
 public:
  struct Options {
    std::string bindAddress = "0.0.0.0";
    std::uint16_t httpPort = kLanHttpPort;  // 0: any free port (tests)
    std::uint16_t udpPort = kLanUdpPort;    // 0: any free port (tests)
    std::string broadcastAddress = "255.255.255.255";
    std::uint16_t broadcastPort = kLanUdpPort;
    bool advertiseLoopback = false;
    std::chrono::milliseconds idleTimeout = std::chrono::seconds(60);
    std::function<std::vector<platform::Ipv4Interface>()> interfaces;
    std::shared_ptr<LanContent> content;
    std::function<bool()> localOn;   // the "local" setting
    std::function<bool()> lanUse;    // LAN use switched on (asking)
    std::function<std::int64_t()> userID;
    LanPeerSink onPeer;
  };

  // The process-wide service on the shared stores, made on first use; its
  // file server waits for the first checkHttp.
  static HttpThread& shareHttpThread();
  // Makes the shared service the one the settings nudge and the one
  // downloads ask about their content; it is made at the first use, not
  // here.
  static void registerAsLanService();
  // Where the shared service asks whether LAN use is on; until set, every
  // question is logged and answered no.
  static void setLanUseSeam(std::function<bool()> lanUse);
  // Call before the shared service is first made: it then binds 127.0.0.1
  // on free ports and sends its who-has to 127.0.0.1 only, so a client run
  // beside a local test service reaches and disturbs no other machine.
  static void useLoopbackOnly();

  // Creates the discovery socket; the file server waits for checkHttp.
  explicit HttpThread(Options options);
  ~HttpThread() override;
  HttpThread(const HttpThread&) = delete;
  HttpThread& operator=(const HttpThread&) = delete;

  // Starts the file server when the "local" setting is on and it is not
  // running (a port held by another program leaves it off until the next
  // call); stops it, closing every connection, when the setting is off.
  void checkHttp() override;
  // Whether the file server listens and the "local" setting is on: only
  // then are questions from others answered.
  bool serving() const;
  // The file server's bound port; 0 while it is off.
  std::int64_t httpPort() const;
  LocalUdpSocket& udpSocket() { return *udpSocket_; }
  // Stops the file server (the discovery socket stays).
  void exit();

 private:
  const Options options_;
  mutable std::mutex mutex_;
  std::unique_ptr<HttpListen> httpListen_;  // guarded by mutex_
  std::unique_ptr<LocalUdpSocket> udpSocket_;
};

// Asks the network about a content hash through the process-wide service.
void CheckUdpFileHash(const std::string& filehash);

}  // namespace nb::lan
