#pragma once
// Loopback plumbing for the LAN service's tests: a content lookup the test
// fills in, a raw TCP requester that can split its request, and a UDP
// socket that plays another client. Everything binds to 127.0.0.0/8 and to
// ports the system picks.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/text/StringHelpers.h"
#include "platform/Ipv4Interfaces.h"
#include "platform/UniqueFd.h"
#include "transfer/lan/LanContent.h"

namespace nb::test {

class FakeLanContent final : public lan::LanContent {
 public:
  explicit FakeLanContent(std::filesystem::path folder) : folder_(std::move(folder)) {}

  // Registers a content under each source; the cache entry holds plain
  // bytes, and deciphering copies it unless told to fail.
  void addCache(const std::string& hash, const std::string& path);
  void addSynced(const std::string& hash, const std::string& path);
  void addFinished(const std::string& hash, const std::string& path);
  void addRunning(const std::string& hash, lan::RunningDownload download);
  void setDecryptFails(bool fails);

  std::string cachePath(const std::string& filehash) override;
  bool decryptCache(const std::string& entry, const std::string& target) override;
  std::string decryptFolder() override { return (folder_ / "decrypt").string(); }
  std::string syncedPath(const std::string& filehash) override;
  std::string finishedPath(const std::string& filehash) override;
  std::optional<lan::RunningDownload> running(const std::string& filehash) override;

 private:
  std::string find(const std::map<std::string, std::string>& map, const std::string& hash);

  const std::filesystem::path folder_;
  std::mutex mutex_;
  std::map<std::string, std::string> cache_, synced_, finished_;
  std::map<std::string, lan::RunningDownload> running_;
  bool decryptFails_ = false;
};

// Writes `bytes` to a new file under `folder`; answers its path.
std::string writeFile(const std::filesystem::path& folder, const std::string& name,
                      const std::string& bytes);
// `n` bytes of a seeded pattern.
std::string patternBytes(std::size_t n, std::uint32_t seed = 7);

// One TCP connection to a loopback server.
class RawConnection {
 public:
  RawConnection(const std::string& address, std::int64_t port,
                const std::string& from = "127.0.0.1");
  bool connected() const { return fd_.ok(); }
  void send(const std::string& bytes);
  // Reads until `count` bytes came, the server closed, or `wait` passed.
  std::string receive(std::size_t count, std::chrono::milliseconds wait = std::chrono::seconds(5));
  // Reads until the server closes; true when it did within `wait`.
  bool waitClosed(std::chrono::milliseconds wait = std::chrono::seconds(5));
  // A whole reply: its header, then Content-Length bytes of body.
  struct Reply {
    std::string head;  // up to and with the blank line
    std::string body;
    int status = 0;
  };
  Reply receiveReply(std::chrono::milliseconds wait = std::chrono::seconds(10));

 private:
  platform::UniqueFd fd_;
  std::string pending_;
};

// A value of a header in a reply head; "" when absent.
std::string headerValue(const std::string& head, const std::string& name);

// A UDP socket on a loopback address, for playing another client.
class UdpPeer {
 public:
  explicit UdpPeer(const std::string& address, std::uint16_t port = 0);
  std::uint16_t port() const { return port_; }
  void sendTo(const std::string& address, std::uint16_t port, const std::string& bytes);
  // The next datagram and its sender, or nothing within `wait`.
  struct Datagram {
    std::string bytes;
    std::string sender;
  };
  std::optional<Datagram> receive(std::chrono::milliseconds wait = std::chrono::seconds(2));

 private:
  platform::UniqueFd fd_;
  std::uint16_t port_ = 0;
};

// Interfaces list of one loopback address on 127.0.0.0/8.
std::vector<platform::Ipv4Interface> loopbackInterface(const std::string& address);

}  // namespace nb::test
