#include "transfer/lan/HttpListen.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "platform/Log.h"

namespace nb::lan {

using Clock = std::chrono::steady_clock;

HttpListen::HttpListen(Options options)
    : options_(std::move(options)), socket_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
  if (!options_.content || !options_.serving || !options_.interfaces) {
    NBLOG_ERROR("LAN server: made without its content, switch or interfaces; not listening");
    return;
  }
  if (!createServer()) {
    terminateServer();
    return;
  }
  const bool started = loop_.start(
      "nb-lan-http", [this](std::vector<pollfd>& fds) { return prepare(fds); },
      [this](const std::vector<pollfd>& fds) { handle(fds); });
  bListen_ = started;
  if (!started) terminateServer();
}

HttpListen::~HttpListen() { terminateServer(); }

bool HttpListen::createServer() {
  if (!socket_.ok()) {
    NBLOG_ERROR("LAN server: socket failed: {}", std::strerror(errno));
    return false;
  }
  const int on = 1;
  ::setsockopt(socket_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const auto address = platform::parseIpv4(options_.bindAddress);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(options_.port);
  local.sin_addr.s_addr = htonl(address.value_or(INADDR_ANY));
  if (!address ||
      ::bind(socket_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(socket_.get(), SOMAXCONN) != 0) {
    NBLOG_ERROR("LAN server: cannot listen on {}:{}: {}", options_.bindAddress, options_.port,
                std::strerror(errno));
    return false;
  }
  socklen_t length = sizeof local;
  ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &length);
  nPort_ = ntohs(local.sin_port);
  return true;
}

void HttpListen::terminateServer() {
  loop_.stop();
  bListen_ = false;
  nPort_ = 0;
  connections_.clear();
  socket_.close();
}

std::chrono::milliseconds HttpListen::prepare(std::vector<pollfd>& fds) {
  fds.push_back({socket_.get(), POLLIN, 0});
  auto wait = options_.idleTimeout;
  const auto now = Clock::now();
  for (const auto& [fd, connection] : connections_) {
    const short events = static_cast<short>(POLLIN | (connection->wantsWrite() ? POLLOUT : 0));
    fds.push_back({fd, events, 0});
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        connection->lastActivity() + options_.idleTimeout - now);
    wait = std::max(std::chrono::milliseconds(1), std::min(wait, left + std::chrono::milliseconds(1)));
  }
  return wait;
}

void HttpListen::handle(const std::vector<pollfd>& fds) {
  for (std::size_t i = 1; i < fds.size(); ++i) {
    const auto it = connections_.find(fds[i].fd);
    if (it == connections_.end() || fds[i].revents == 0) continue;
    HttpServer& connection = *it->second;
    bool open = true;
    if (fds[i].revents & (POLLERR | POLLNVAL)) open = false;
    if (open && (fds[i].revents & (POLLIN | POLLHUP))) open = connection.readStreamHandleEvent();
    if (open && (fds[i].revents & POLLOUT)) open = connection.writeStreamHandleEvent();
    if (!open) connections_.erase(it);
  }
  const auto now = Clock::now();
  std::erase_if(connections_, [&](const auto& entry) {
    return now - entry.second->lastActivity() >= options_.idleTimeout;
  });
  if (!fds.empty() && (fds[0].revents & POLLIN)) acceptAll();
}

void HttpListen::acceptAll() {
  for (;;) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    platform::UniqueFd accepted(::accept4(socket_.get(), reinterpret_cast<sockaddr*>(&peer),
                                          &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!accepted.ok()) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    const std::uint32_t address = ntohl(peer.sin_addr.s_addr);
    if (peer.sin_family != AF_INET || !peerAllowed(address)) {
      NBLOG_WARN("LAN server: refused {} (not on an attached subnet)", platform::ipv4Text(address));
      continue;
    }
    const int fd = accepted.get();
    connections_[fd] =
        std::make_unique<HttpServer>(std::move(accepted), ++nextId_, *options_.content, options_.serving);
  }
}

bool HttpListen::peerAllowed(std::uint32_t peer) const {
  for (const platform::Ipv4Interface& item : options_.interfaces()) {
    if (item.onSubnet(peer)) return true;
  }
  return false;
}

}  // namespace nb::lan
