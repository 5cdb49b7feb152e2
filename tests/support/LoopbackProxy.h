#pragma once
// A plain forward HTTP proxy on 127.0.0.1 and a free port, for tests of the
// way out through a proxy: it takes absolute-form requests
// ("GET http://127.0.0.1:8080/p HTTP/1.1"), passes each on to its target in
// origin form with "Connection: close", and sends the whole answer back.
// One request per connection; no CONNECT tunnels. Records the request line
// of every request it passed on.
//
// Members are safe from the test thread while connections are served.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/UniqueFd.h"

namespace nb::test {

class LoopbackProxy {
 public:
  // Listens before it returns; throws std::runtime_error when it cannot.
  LoopbackProxy();
  ~LoopbackProxy();
  LoopbackProxy(const LoopbackProxy&) = delete;
  LoopbackProxy& operator=(const LoopbackProxy&) = delete;

  uint16_t port() const { return port_; }
  // The request lines as the clients sent them, oldest first.
  std::vector<std::string> requestLines() const;

 private:
  void serve();
  void relay(platform::UniqueFd client);

  platform::UniqueFd listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex lock_;
  std::vector<std::string> requestLines_;  // GUARDED_BY(lock_)
  std::thread thread_;
};

}  // namespace nb::test
