#pragma once
// The LAN file server's listener: a TCP socket on every address (or the
// address a test gives) and the thread that accepts connections and runs
// them. Only peers on a subnet of one of this host's interfaces are served;
// a connection idle for the time-out is closed.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Ipv4Interfaces.h"
#include "platform/UniqueFd.h"
#include "transfer/lan/HttpServer.h"
#include "transfer/lan/LanContent.h"
#include "transfer/lan/PollLoop.h"

namespace nb::lan {

inline constexpr std::uint16_t kLanHttpPort = 24753;

class HttpListen {
 public:
  struct Options {
    std::string bindAddress = "0.0.0.0";
    std::uint16_t port = kLanHttpPort;  // 0: any free port (tests)
    std::chrono::milliseconds idleTimeout = std::chrono::seconds(60);
    std::shared_ptr<LanContent> content;
    // Whether requests may be answered now (the "local" setting).
    std::function<bool()> serving;
    // This host's interfaces, whose subnets may connect.
    std::function<std::vector<platform::Ipv4Interface>()> interfaces;
  };

  // Binds and starts the thread (createServer); bListen() tells whether it
  // worked. No other port is tried.
  explicit HttpListen(Options options);
  // terminateServer.
  ~HttpListen();
  HttpListen(const HttpListen&) = delete;
  HttpListen& operator=(const HttpListen&) = delete;

  bool bListen() const { return bListen_.load(); }
  // The bound port; 0 when not listening.
  std::int64_t nPort() const { return nPort_.load(); }
  // Closes the listener and every connection; waits for the thread.
  void terminateServer();

 private:
  bool createServer();
  std::chrono::milliseconds prepare(std::vector<pollfd>& fds);
  void handle(const std::vector<pollfd>& fds);
  void acceptAll();
  bool peerAllowed(std::uint32_t peer) const;

  const Options options_;
  std::atomic<bool> bListen_{false};
  std::atomic<std::int64_t> nPort_{0};
  platform::UniqueFd socket_;

  // Loop thread only.
  std::map<int, std::unique_ptr<HttpServer>> connections_;
  std::uint64_t nextId_ = 0;

  // Last: its thread uses everything above.
  PollLoop loop_;
};

}  // namespace nb::lan
