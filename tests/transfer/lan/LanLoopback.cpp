#include "transfer/lan/LanLoopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <thread>

namespace nb::test {
namespace {

sockaddr_in loopback(const std::string& address, std::uint16_t port) {
  sockaddr_in out{};
  out.sin_family = AF_INET;
  out.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &out.sin_addr);
  return out;
}

bool waitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  pollfd item{fd, POLLIN, 0};
  return ::poll(&item, 1, static_cast<int>(left.count())) > 0;
}

}  // namespace

void FakeLanContent::addCache(const std::string& hash, const std::string& path) {
  std::lock_guard lock(mutex_);
  cache_[hash] = path;
}
void FakeLanContent::addSynced(const std::string& hash, const std::string& path) {
  std::lock_guard lock(mutex_);
  synced_[hash] = path;
}
void FakeLanContent::addFinished(const std::string& hash, const std::string& path) {
  std::lock_guard lock(mutex_);
  finished_[hash] = path;
}
void FakeLanContent::addRunning(const std::string& hash, lan::RunningDownload download) {
  std::lock_guard lock(mutex_);
  running_[hash] = std::move(download);
}
void FakeLanContent::setDecryptFails(bool fails) {
  std::lock_guard lock(mutex_);
  decryptFails_ = fails;
}

std::string FakeLanContent::find(const std::map<std::string, std::string>& map,
                                 const std::string& hash) {
  std::lock_guard lock(mutex_);
  const auto it = map.find(hash);
  return it == map.end() ? std::string() : it->second;
}

std::string FakeLanContent::cachePath(const std::string& filehash) { return find(cache_, filehash); }
std::string FakeLanContent::syncedPath(const std::string& filehash) { return find(synced_, filehash); }
std::string FakeLanContent::finishedPath(const std::string& filehash) {
  return find(finished_, filehash);
}

bool FakeLanContent::decryptCache(const std::string& entry, const std::string& target) {
  {
    std::lock_guard lock(mutex_);
    if (decryptFails_) return false;
  }
  std::error_code error;
  return std::filesystem::copy_file(entry, target,
                                    std::filesystem::copy_options::overwrite_existing, error);
}

std::optional<lan::RunningDownload> FakeLanContent::running(const std::string& filehash) {
  std::lock_guard lock(mutex_);
  const auto it = running_.find(filehash);
  if (it == running_.end()) return std::nullopt;
  return it->second;
}

std::string writeFile(const std::filesystem::path& folder, const std::string& name,
                      const std::string& bytes) {
  std::filesystem::create_directories(folder);
  const auto path = folder / name;
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path.string();
}

std::string patternBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(random() & 0xFF);
  return out;
}

RawConnection::RawConnection(const std::string& address, std::int64_t port,
                             const std::string& from)
    : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  const sockaddr_in local = loopback(from, 0);
  const sockaddr_in remote = loopback(address, static_cast<std::uint16_t>(port));
  if (::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
    fd_.close();
  }
}

void RawConnection::send(const std::string& bytes) {
  ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

std::string RawConnection::receive(std::size_t count, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  char buffer[65536];
  while (pending_.size() < count && waitReadable(fd_.get(), deadline)) {
    const ssize_t got = ::recv(fd_.get(), buffer, sizeof buffer, 0);
    if (got <= 0) break;
    pending_.append(buffer, static_cast<std::size_t>(got));
  }
  std::string out = pending_.substr(0, count);
  pending_.erase(0, out.size());
  return out;
}

bool RawConnection::waitClosed(std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  char buffer[4096];
  while (waitReadable(fd_.get(), deadline)) {
    const ssize_t got = ::recv(fd_.get(), buffer, sizeof buffer, 0);
    if (got <= 0) return true;
    pending_.append(buffer, static_cast<std::size_t>(got));
  }
  return false;
}

RawConnection::Reply RawConnection::receiveReply(std::chrono::milliseconds wait) {
  Reply reply;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  char buffer[65536];
  while (pending_.find("\r\n\r\n") == std::string::npos && waitReadable(fd_.get(), deadline)) {
    const ssize_t got = ::recv(fd_.get(), buffer, sizeof buffer, 0);
    if (got <= 0) break;
    pending_.append(buffer, static_cast<std::size_t>(got));
  }
  const auto blank = pending_.find("\r\n\r\n");
  if (blank == std::string::npos) return reply;
  reply.head = pending_.substr(0, blank + 4);
  pending_.erase(0, blank + 4);
  std::sscanf(reply.head.c_str(), "HTTP/1.1 %d", &reply.status);
  const std::string length = headerValue(reply.head, "Content-Length");
  if (!length.empty()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    reply.body = receive(std::stoull(length), left);
  }
  return reply;
}

std::string headerValue(const std::string& head, const std::string& name) {
  const std::string key = "\r\n" + name + ": ";
  const auto at = head.find(key);
  if (at == std::string::npos) return {};
  const auto start = at + key.size();
  return head.substr(start, head.find("\r\n", start) - start);
}

UdpPeer::UdpPeer(const std::string& address, std::uint16_t port)
    : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in local = loopback(address, port);
  ::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local);
  socklen_t length = sizeof local;
  ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&local), &length);
  port_ = ntohs(local.sin_port);
}

void UdpPeer::sendTo(const std::string& address, std::uint16_t port, const std::string& bytes) {
  const sockaddr_in to = loopback(address, port);
  ::sendto(fd_.get(), bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof to);
}

std::optional<UdpPeer::Datagram> UdpPeer::receive(std::chrono::milliseconds wait) {
  if (!waitReadable(fd_.get(), std::chrono::steady_clock::now() + wait)) return std::nullopt;
  std::string buffer(65536, '\0');
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t got = ::recvfrom(fd_.get(), buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &length);
  if (got < 0) return std::nullopt;
  buffer.resize(static_cast<std::size_t>(got));
  return Datagram{buffer, platform::ipv4Text(ntohl(from.sin_addr.s_addr))};
}

std::vector<platform::Ipv4Interface> loopbackInterface(const std::string& address) {
  return {*platform::parseIpv4Interface(address + "/8")};
}

}  // namespace nb::test
