#include "support/LoopbackProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string_view>

namespace nb::test {

namespace {

constexpr int kPollMs = 50;

bool sendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

// Reads until the end of the head, keeping what came after it in `rest`.
bool readHead(int fd, std::string& head, std::string& rest) {
  std::string data;
  char buffer[4096];
  while (data.find("\r\n\r\n") == std::string::npos) {
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    data.append(buffer, static_cast<size_t>(got));
  }
  const auto end = data.find("\r\n\r\n") + 4;
  head = data.substr(0, end);
  rest = data.substr(end);
  return true;
}

platform::UniqueFd connectTo(const std::string& host, uint16_t port) {
  platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (!fd.ok() || ::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1 ||
      ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return platform::UniqueFd();
  }
  return fd;
}

struct Target {
  std::string host;
  uint16_t port = 80;
  std::string head;  // the request head in origin form, "Connection: close"
};

// "GET http://h:p/path HTTP/1.1" and its headers, rewritten for the target.
bool parseRequest(const std::string& head, Target& target) {
  const auto lineEnd = head.find("\r\n");
  const std::string line = head.substr(0, lineEnd);
  const auto space = line.find(' ');
  const auto lastSpace = line.rfind(' ');
  const std::string_view scheme = "http://";
  if (space == std::string::npos || line.compare(space + 1, scheme.size(), scheme) != 0) return false;
  const auto authorityStart = space + 1 + scheme.size();
  const auto pathStart = line.find('/', authorityStart);
  if (pathStart == std::string::npos || pathStart > lastSpace) return false;
  const std::string authority = line.substr(authorityStart, pathStart - authorityStart);
  const auto colon = authority.find(':');
  target.host = authority.substr(0, colon);
  if (colon != std::string::npos) target.port = static_cast<uint16_t>(std::atoi(authority.c_str() + colon + 1));
  target.head = line.substr(0, space + 1) + line.substr(pathStart) + "\r\n";
  std::string_view headers(head);
  headers.remove_prefix(lineEnd + 2);
  while (!headers.empty() && !headers.starts_with("\r\n")) {
    const auto end = headers.find("\r\n");
    const std::string_view field = headers.substr(0, end);
    const bool hopByHop = field.starts_with("Proxy-") || field.starts_with("proxy-") ||
                          field.starts_with("Connection:") || field.starts_with("connection:");
    if (!hopByHop) target.head += std::string(field) + "\r\n";
    headers.remove_prefix(end + 2);
  }
  target.head += "Connection: close\r\n\r\n";
  return true;
}

}  // namespace

LoopbackProxy::LoopbackProxy() : listener_(::socket(AF_INET, SOCK_STREAM, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  auto* raw = reinterpret_cast<sockaddr*>(&address);
  if (!listener_.ok() || ::bind(listener_.get(), raw, size) != 0 || ::listen(listener_.get(), 16) != 0 ||
      ::getsockname(listener_.get(), raw, &size) != 0) {
    throw std::runtime_error("loopback proxy cannot listen");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

LoopbackProxy::~LoopbackProxy() {
  stopping_ = true;
  thread_.join();
}

std::vector<std::string> LoopbackProxy::requestLines() const {
  std::lock_guard guard(lock_);
  return requestLines_;
}

void LoopbackProxy::serve() {
  while (!stopping_) {
    pollfd waiting{listener_.get(), POLLIN, 0};
    if (::poll(&waiting, 1, kPollMs) <= 0) continue;
    platform::UniqueFd client(::accept(listener_.get(), nullptr, nullptr));
    if (client.ok()) relay(std::move(client));
  }
}

// One exchange, on the proxy's thread: tests send one request at a time.
void LoopbackProxy::relay(platform::UniqueFd client) {
  std::string head, rest;
  Target target;
  if (!readHead(client.get(), head, rest) || !parseRequest(head, target)) {
    sendAll(client.get(), "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    return;
  }
  {
    std::lock_guard guard(lock_);
    requestLines_.push_back(head.substr(0, head.find("\r\n")));
  }
  const platform::UniqueFd upstream = connectTo(target.host, target.port);
  if (!upstream.ok()) {
    sendAll(client.get(), "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    return;
  }
  if (!sendAll(upstream.get(), target.head + rest)) return;
  // Whatever more the client sends (the rest of a body) goes up; the answer
  // comes down until the target closes, as "Connection: close" asks.
  char buffer[8192];
  pollfd ends[2] = {{client.get(), POLLIN, 0}, {upstream.get(), POLLIN, 0}};
  while (!stopping_) {
    if (::poll(ends, 2, kPollMs) <= 0) continue;
    if ((ends[0].revents & (POLLIN | POLLHUP)) != 0) {
      const ssize_t got = ::recv(client.get(), buffer, sizeof buffer, 0);
      if (got <= 0) {
        ends[0].fd = -1;  // the client is done sending
      } else if (!sendAll(upstream.get(), std::string_view(buffer, static_cast<size_t>(got)))) {
        return;
      }
    }
    if ((ends[1].revents & (POLLIN | POLLHUP)) != 0) {
      const ssize_t got = ::recv(upstream.get(), buffer, sizeof buffer, 0);
      if (got <= 0) return;
      if (!sendAll(client.get(), std::string_view(buffer, static_cast<size_t>(got)))) return;
    }
  }
}

}  // namespace nb::test
