#include "transfer/lan/LocalUdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "platform/Log.h"
#include "stores/cache/SyncCache.h"

namespace nb::lan {
namespace {

constexpr int kRandomPortTries = 100;

sockaddr_in socketAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in out{};
  out.sin_family = AF_INET;
  out.sin_port = htons(port);
  out.sin_addr.s_addr = htonl(address);
  return out;
}

bool isLoopback(std::uint32_t address) { return (address >> 24) == 127; }

}  // namespace

LocalUdpSocket::LocalUdpSocket(Options options) : options_(std::move(options)) {
  if (!options_.interfaces || !options_.content || !options_.answering || !options_.httpPort ||
      !options_.userID || !options_.lanUse || !options_.onPeer) {
    NBLOG_ERROR("LAN discovery: made without all of its seams; no socket");
    return;
  }
  if (!createWithPort(options_.port)) return;
  bCreate_ = loop_.start(
      "nb-lan-udp",
      [this](std::vector<pollfd>& fds) {
        fds.push_back({socket_->get(), POLLIN, 0});
        return std::chrono::milliseconds(-1);
      },
      [this](const std::vector<pollfd>& fds) {
        if (fds[0].revents & POLLIN) receiveAll();
      });
}

LocalUdpSocket::~LocalUdpSocket() { loop_.stop(); }

bool LocalUdpSocket::createWithPort(std::uint16_t port) {
  if ((port == 0 || port >= 10000) && createUdpSocketWithPort(port)) return true;
  // Someone holds the port: a random one, but not for ever.
  std::mt19937 random(std::random_device{}());
  for (int i = 0; i < kRandomPortTries; ++i) {
    const auto fallback = static_cast<std::uint16_t>(10000 + random() % 55535);
    if (createUdpSocketWithPort(fallback)) return true;
  }
  NBLOG_ERROR("LAN discovery: no UDP port could be bound");
  return false;
}

bool LocalUdpSocket::createUdpSocketWithPort(std::uint16_t port) {
  platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  const auto address = platform::parseIpv4(options_.bindAddress);
  if (!fd.ok() || !address) return false;
  const int on = 1;
  ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in local = socketAddress(*address, port);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return false;
  socklen_t length = sizeof local;
  ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &length);
  nPort_ = ntohs(local.sin_port);
  socket_.emplace(std::move(fd));
  return true;
}

std::vector<platform::Ipv4Interface> LocalUdpSocket::advertised() const {
  std::vector<platform::Ipv4Interface> out = options_.interfaces();
  if (!options_.advertiseLoopback) {
    std::erase_if(out, [](const auto& item) { return isLoopback(item.address); });
  }
  return out;
}

void LocalUdpSocket::checkFileHash(const std::string& filehash) {
  if (!bCreate_ || !isContentHash(filehash) || filehash == kEmptyContentHash) return;
  if (!options_.lanUse()) return;
  const auto target = platform::parseIpv4(options_.broadcastAddress);
  if (!target) return;
  const sockaddr_in to = socketAddress(*target, options_.broadcastPort);
  LanMessage question;
  question.type = LanMessageType::kWhoHas;
  question.filehash = filehash;
  question.port = static_cast<std::uint32_t>(nPort_.load());
  for (const platform::Ipv4Interface& item : advertised()) {
    question.address = item.text();
    const std::string bytes = encodeLanMessage(question);
    platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.ok()) continue;
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    // Sent from the address it carries, so that it leaves through that
    // address's interface; unbound when that fails.
    const sockaddr_in from = socketAddress(item.address, 0);
    ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&from), sizeof from);
    if (::sendto(fd.get(), bytes.data(), bytes.size(), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
      NBLOG_WARN("LAN discovery: who-has from {} failed: {}", question.address, std::strerror(errno));
    }
  }
}

void LocalUdpSocket::receiveAll() {
  std::string datagram(kLanReceiveBuffer + 1, '\0');
  for (;;) {
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t got = ::recvfrom(socket_->get(), datagram.data(), datagram.size(), MSG_TRUNC,
                                   reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (from.sin_family != AF_INET) continue;
    // MSG_TRUNC gives the real length: an oversized datagram is seen as such.
    const auto size = std::min(static_cast<std::size_t>(got), datagram.size());
    onDatagram(std::string_view(datagram.data(), size), ntohl(from.sin_addr.s_addr));
  }
}

void LocalUdpSocket::onDatagram(std::string_view bytes, std::uint32_t sender) {
  const auto own = options_.interfaces();
  // Discovery is a matter of the attached networks: a datagram from
  // elsewhere could only steer downloads to a far host or use the answers
  // to flood one.
  if (std::none_of(own.begin(), own.end(), [&](const auto& item) { return item.onSubnet(sender); })) {
    return;
  }
  const bool fromOwn = std::any_of(own.begin(), own.end(),
                                   [&](const auto& item) { return item.address == sender; });
  const LanDatagramBuffer::Outcome outcome = buffer_.push(bytes, fromOwn);
  if (!outcome.message) return;
  const LanMessage& message = *outcome.message;
  if (message.type == LanMessageType::kWhoHas) {
    if (options_.answering()) answer(message, sender);
    return;
  }
  LanPeer peer;
  peer.url = "http://" + platform::ipv4Text(sender) + ":" + std::to_string(message.port) +
             "/download?filehash=" + message.filehash;
  peer.filehash = message.filehash;
  peer.partial = message.type == LanMessageType::kPartial;
  peer.userid = message.userid;
  peer.have = message.have;
  peer.bHttpStart = message.bHttpStart;
  peer.bHttpAble = message.bHttpAble;
  options_.onPeer(peer);
}

void LocalUdpSocket::answer(const LanMessage& question, std::uint32_t sender) {
  LanContent& content = *options_.content;
  const std::string& hash = question.filehash;
  LanMessage reply;
  reply.filehash = hash;
  reply.type = LanMessageType::kHave;
  if (content.cachePath(hash).empty() && content.syncedPath(hash).empty() &&
      content.finishedPath(hash).empty()) {
    const auto running = content.running(hash);
    if (!running) return;
    reply.type = LanMessageType::kPartial;
    reply.bHttpStart = running->bHttpStart;
    reply.bHttpAble = running->bHttpAble;
    reply.userid = static_cast<std::int32_t>(options_.userID() & 0xFFFFFFFF);
    reply.have = running->have;
    // A have text that cannot travel in one datagram is not worth a cut one.
    if (kLanPartialFixed + reply.have.size() > 65507) return;
  }
  const auto addresses = advertised();
  if (!addresses.empty()) reply.address = addresses.front().text();
  reply.port = static_cast<std::uint32_t>(options_.httpPort());
  const std::string bytes = encodeLanMessage(reply);
  const sockaddr_in to = socketAddress(sender, static_cast<std::uint16_t>(question.port));
  if (::sendto(socket_->get(), bytes.data(), bytes.size(), MSG_DONTWAIT,
               reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
    NBLOG_WARN("LAN discovery: answer to {} failed: {}", platform::ipv4Text(sender),
               std::strerror(errno));
  }
}

}  // namespace nb::lan
