#include "support/ScriptedHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <stdexcept>

#include "support/FakeCertificate.h"

namespace nb::test {

namespace {

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Offers "h2" back when the client asks for it, so a client that should
// speak HTTP/1.1 is caught; records the offer.
int selectAlpn(SSL*, const unsigned char** out, unsigned char* outLength, const unsigned char* in,
               unsigned int inLength, void* arg) {
  auto* sawH2 = static_cast<std::function<void()>*>(arg);
  for (unsigned int i = 0; i < inLength;) {
    const unsigned length = in[i];
    if (length == 2 && std::memcmp(in + i + 1, "h2", 2) == 0) (*sawH2)();
    i += 1 + length;
  }
  for (unsigned int i = 0; i < inLength;) {
    const unsigned length = in[i];
    if (length == 8 && std::memcmp(in + i + 1, "http/1.1", 8) == 0) {
      *out = in + i + 1;
      *outLength = static_cast<unsigned char>(length);
      return SSL_TLSEXT_ERR_OK;
    }
    i += 1 + length;
  }
  return SSL_TLSEXT_ERR_NOACK;
}

}  // namespace

std::optional<std::string> ScriptedRequest::header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (sameName(key, name)) return value;
  }
  return std::nullopt;
}

ScriptedReply ScriptedReply::ok(std::string body) {
  ScriptedReply reply;
  reply.body = std::move(body);
  return reply;
}

ScriptedReply ScriptedReply::redirect(int status, std::string location) {
  ScriptedReply reply;
  reply.status = status;
  reply.reason = "Redirect";
  reply.headers.emplace_back("Location", std::move(location));
  return reply;
}

ScriptedReply& ScriptedReply::header(std::string name, std::string value) {
  headers.emplace_back(std::move(name), std::move(value));
  return *this;
}

// One accepted socket, plain or TLS.
class ScriptedHttpServer::Connection {
 public:
  Connection(int fd, SSL_CTX* context) : fd_(fd) {
    if (context == nullptr) return;
    ssl_ = SSL_new(context);
    SSL_set_fd(ssl_, fd);
    if (SSL_accept(ssl_) != 1) failed_ = true;
  }
  ~Connection() {
    if (ssl_ != nullptr) SSL_free(ssl_);
  }
  bool failed() const { return failed_; }

  // Up to `size` bytes; 0 at the end or on an error.
  size_t read(char* data, size_t size) {
    if (failed_) return 0;
    if (ssl_ != nullptr) {
      const int got = SSL_read(ssl_, data, static_cast<int>(size));
      return got > 0 ? static_cast<size_t>(got) : 0;
    }
    const ssize_t got = ::recv(fd_, data, size, 0);
    return got > 0 ? static_cast<size_t>(got) : 0;
  }

  bool write(const char* data, size_t size) {
    while (size > 0 && !failed_) {
      ssize_t sent;
      if (ssl_ != nullptr) {
        sent = SSL_write(ssl_, data, static_cast<int>(std::min<size_t>(size, 1 << 20)));
      } else {
        sent = ::send(fd_, data, size, MSG_NOSIGNAL);
      }
      if (sent <= 0) return false;
      data += sent;
      size -= static_cast<size_t>(sent);
    }
    return !failed_;
  }
  bool write(const std::string& text) { return write(text.data(), text.size()); }

  // The next request head ("" at the end of the connection); bytes read
  // beyond it stay buffered.
  std::string readHead() {
    for (;;) {
      const size_t end = buffer_.find("\r\n\r\n");
      if (end != std::string::npos) {
        std::string head = buffer_.substr(0, end + 4);
        buffer_.erase(0, end + 4);
        return head;
      }
      char chunk[16384];
      const size_t got = read(chunk, sizeof chunk);
      if (got == 0) return {};
      buffer_.append(chunk, got);
    }
  }

  bool readBody(uint64_t length, std::string& body) {
    while (buffer_.size() < length) {
      char chunk[65536];
      const size_t got = read(chunk, sizeof chunk);
      if (got == 0) return false;
      buffer_.append(chunk, got);
    }
    body = buffer_.substr(0, length);
    buffer_.erase(0, length);
    return true;
  }

 private:
  int fd_;
  SSL* ssl_ = nullptr;
  bool failed_ = false;
  std::string buffer_;
};

ScriptedHttpServer::ScriptedHttpServer(bool tls) : tls_(tls) {
  // A client that hangs up mid-answer must not end the test process.
  std::signal(SIGPIPE, SIG_IGN);
  if (tls_) {
    certificate_ = std::make_unique<FakeCertificate>();
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(context, certificate_->certificate());
    SSL_CTX_use_PrivateKey(context, certificate_->key());
    auto* onH2 = new std::function<void()>([this] {
      std::lock_guard lock(mutex_);
      sawHttp2Offer_ = true;
    });
    SSL_CTX_set_alpn_select_cb(context, selectAlpn, onH2);
    SSL_CTX_set_ex_data(context, 0, onH2);
    sslContext_ = context;
  }
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 64) != 0) {
    throw std::runtime_error("scripted server: cannot listen");
  }
  socklen_t length = sizeof address;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
  stop();
  if (sslContext_ != nullptr) {
    auto* context = static_cast<SSL_CTX*>(sslContext_);
    delete static_cast<std::function<void()>*>(SSL_CTX_get_ex_data(context, 0));
    SSL_CTX_free(context);
  }
}

void ScriptedHttpServer::on(const std::string& path, Script script) {
  std::lock_guard lock(mutex_);
  scripts_[path] = std::move(script);
}

void ScriptedHttpServer::on(const std::string& path, ScriptedReply reply) {
  {
    std::lock_guard lock(mutex_);
    if (reply.readRequestBody) {
      deafPaths_.erase(path);
    } else {
      deafPaths_.insert(path);
    }
  }
  on(path, [reply](const ScriptedRequest&) { return reply; });
}

std::string ScriptedHttpServer::baseUrl() const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::vector<ScriptedRequest> ScriptedHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

int ScriptedHttpServer::acceptedConnections() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

bool ScriptedHttpServer::sawHttp2Offer() const {
  std::lock_guard lock(mutex_);
  return sawHttp2Offer_;
}

bool ScriptedHttpServer::waitForRequests(size_t count, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
}

void ScriptedHttpServer::stop() {
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    if (stopping_ && !acceptor_.joinable()) return;
    stopping_ = true;
    for (const int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
  }
  changed_.notify_all();
  if (listenFd_ >= 0) ::shutdown(listenFd_, SHUT_RDWR);
  if (acceptor_.joinable()) acceptor_.join();
  {
    std::lock_guard lock(mutex_);
    workers.swap(workers_);
  }
  for (auto& worker : workers) worker.join();
  if (listenFd_ >= 0) ::close(listenFd_);
  listenFd_ = -1;
}

bool ScriptedHttpServer::stallUntilStopped() {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(60), [this] { return stopping_; });
  return false;
}

void ScriptedHttpServer::acceptLoop() {
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    std::lock_guard lock(mutex_);
    if (fd < 0 || stopping_) {
      if (fd >= 0) ::close(fd);
      return;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const int number = ++accepted_;
    openFds_.push_back(fd);
    workers_.emplace_back([this, fd, number] { serve(fd, number); });
  }
}

namespace {

ScriptedRequest parseHead(const std::string& head, int connection) {
  ScriptedRequest request;
  request.connection = connection;
  size_t lineEnd = head.find("\r\n");
  const std::string requestLine = head.substr(0, lineEnd);
  const size_t first = requestLine.find(' ');
  const size_t second = requestLine.rfind(' ');
  request.method = requestLine.substr(0, first);
  request.target = requestLine.substr(first + 1, second - first - 1);
  request.version = requestLine.substr(second + 1);
  size_t start = lineEnd + 2;
  while ((lineEnd = head.find("\r\n", start)) != std::string::npos && lineEnd > start) {
    const std::string line = head.substr(start, lineEnd - start);
    const size_t colon = line.find(':');
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    request.headers.emplace_back(line.substr(0, colon), value);
    start = lineEnd + 2;
  }
  return request;
}

// A chunk's size line.
std::string fmt(size_t size) {
  char line[32];
  std::snprintf(line, sizeof line, "%zx\r\n", size);
  return line;
}

std::string replyHead(const ScriptedReply& reply, uint64_t bodyLength) {
  std::string head = reply.version + " " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
  for (const auto& [name, value] : reply.headers) head += name + ": " + value + "\r\n";
  if (reply.framing == ScriptedReply::Framing::ContentLength) {
    head += "Content-Length: " + std::to_string(bodyLength) + "\r\n";
  } else if (reply.framing == ScriptedReply::Framing::Chunked) {
    head += "Transfer-Encoding: chunked\r\n";
  }
  return head + "\r\n";
}

}  // namespace

void ScriptedHttpServer::serve(int fd, int number) {
  Connection connection(fd, static_cast<SSL_CTX*>(sslContext_));
  while (!connection.failed()) {
    const std::string head = connection.readHead();
    if (head.empty()) break;
    ScriptedRequest request = parseHead(head, number);
    if (request.method == "CONNECT" && !tls_) {
      Script decide;
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        if (const auto found = scripts_.find("CONNECT"); found != scripts_.end()) decide = found->second;
      }
      changed_.notify_all();
      // A script for "CONNECT" may refuse the tunnel with an answer of its own.
      if (decide) {
        const ScriptedReply refusal = decide(request);
        if (refusal.status != 200) {
          if (!writeReply(connection, refusal) || refusal.closeAfter) break;
          continue;
        }
      }
      tunnel(connection, fd, request.target);
      break;
    }
    // A proxy gets the absolute form ("http://host/path"): look the path up.
    std::string path = request.target.substr(0, request.target.find('?'));
    if (const size_t scheme = path.find("://"); scheme != std::string::npos) {
      const size_t slash = path.find('/', scheme + 3);
      path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    Script script;
    bool deaf = false;
    {
      std::lock_guard lock(mutex_);
      if (const auto found = scripts_.find(path); found != scripts_.end()) script = found->second;
      deaf = deafPaths_.count(path) != 0;
    }
    const uint64_t length = std::stoull(request.header("Content-Length").value_or("0"));
    if (deaf) {
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      changed_.notify_all();
      stallUntilStopped();
      break;
    }
    if (length > 0 && !connection.readBody(length, request.body)) break;
    ScriptedReply reply;
    if (script) {
      reply = script(request);
    } else {
      reply.status = 404;
      reply.reason = "Not Found";
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    changed_.notify_all();
    if (reply.stallBeforeHead) {
      stallUntilStopped();
      break;
    }
    if (reply.dropBeforeHead) break;
    // The answer to a HEAD is the head of the answer a GET would get.
    if (request.method == "HEAD") {
      if (!connection.write(replyHead(reply, reply.body.size() + reply.generatedBytes))) break;
    } else if (!writeReply(connection, reply)) {
      break;
    }
    if (reply.closeAfter || reply.framing == ScriptedReply::Framing::CloseDelimited) break;
  }
  std::lock_guard lock(mutex_);
  std::erase(openFds_, fd);
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
}

// A proxy's CONNECT: relay bytes both ways to a loopback target.
void ScriptedHttpServer::tunnel(Connection& connection, int clientFd, const std::string& target) {
  const size_t colon = target.rfind(':');
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(std::stoi(target.substr(colon + 1))));
  const int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (::connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    connection.write("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
    ::close(upstream);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    openFds_.push_back(upstream);
  }
  connection.write("HTTP/1.1 200 Connection established\r\n\r\n");
  pollfd fds[2] = {{clientFd, POLLIN, 0}, {upstream, POLLIN, 0}};
  char buffer[65536];
  for (;;) {
    if (::poll(fds, 2, 60'000) <= 0) break;
    bool ended = false;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      const ssize_t got = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
      if (got <= 0 || ::send(fds[1 - i].fd, buffer, static_cast<size_t>(got), MSG_NOSIGNAL) != got) {
        ended = true;
      }
    }
    if (ended) break;
  }
  std::lock_guard lock(mutex_);
  std::erase(openFds_, upstream);
  ::shutdown(upstream, SHUT_RDWR);
  ::close(upstream);
}

bool ScriptedHttpServer::writeReply(Connection& connection, const ScriptedReply& reply) {
  static const std::string kPattern = [] {
    std::string bytes(256 * 1024, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
  }();
  const uint64_t total = reply.body.size() + reply.generatedBytes;
  if (!connection.write(replyHead(reply, total))) return false;
  const bool chunked = reply.framing == ScriptedReply::Framing::Chunked;
  uint64_t sent = 0;
  auto send = [&](const char* data, size_t size) {
    if (reply.dropAfterBodyBytes && sent + size >= *reply.dropAfterBodyBytes) {
      connection.write(data, static_cast<size_t>(*reply.dropAfterBodyBytes - sent));
      return false;
    }
    if (reply.stallAfterBodyBytes && sent + size >= *reply.stallAfterBodyBytes) {
      size = static_cast<size_t>(*reply.stallAfterBodyBytes - sent);
      if (size > 0 && chunked) connection.write(fmt(size));
      if (size > 0) connection.write(data, size);
      if (size > 0 && chunked) connection.write("\r\n");
      return stallUntilStopped();
    }
    if (chunked && !connection.write(fmt(size))) return false;
    if (!connection.write(data, size)) return false;
    sent += size;
    return !chunked || connection.write("\r\n");
  };
  if (!reply.body.empty() && !send(reply.body.data(), reply.body.size())) return false;
  for (uint64_t left = reply.generatedBytes; left > 0;) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, kPattern.size()));
    if (!send(kPattern.data(), piece)) return false;
    left -= piece;
  }
  if (reply.stallAfterBodyBytes) return stallUntilStopped();
  return !chunked || connection.write("0\r\n\r\n");
}

}  // namespace nb::test
