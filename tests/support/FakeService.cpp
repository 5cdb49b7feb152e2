#include "support/FakeService.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <httplib.h>

#include "support/FakeCertificate.h"

namespace nb::test {

namespace {

constexpr const char* kMarkerName = "X-SERVER";
constexpr const char* kMarkerValue = "NUBREN";

struct Endpoint {
  FakeHandler handler;
  FakeEndpointRules rules;
};

FakeCall readCall(const httplib::Request& request) {
  FakeCall call;
  call.method = request.method;
  call.path = request.path;
  if (const auto question = request.target.find('?'); question != std::string::npos) {
    call.query = request.target.substr(question + 1);
  }
  for (const auto& [name, value] : request.headers) {
    // httplib adds these for its own bookkeeping; they never came on the wire.
    if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT") {
      continue;
    }
    call.headers.emplace_back(name, value);
  }
  call.body = request.body;
  call.params = fakesig::parseForm(call.query);
  const bool formBody = call.header("Content-Type").value_or("").starts_with(
      "application/x-www-form-urlencoded");
  if (formBody) {
    for (auto& param : fakesig::parseForm(call.body)) call.params.push_back(std::move(param));
  }
  return call;
}

}  // namespace

class FakeService::Impl {
 public:
  explicit Impl(Options options);
  ~Impl() { stop(); }
  void stop();

  void serve(const httplib::Request& request, httplib::Response& response);

  std::unique_ptr<FakeCertificate> certificate;  // only for HTTPS
  std::unique_ptr<httplib::Server> server;
  std::thread thread;
  uint16_t port = 0;
  bool https = false;
  FakeTokens tokens;

  mutable std::mutex lock;
  std::condition_variable wake;  // cuts delays short when stopping
  bool stopping = false;                                      // GUARDED_BY(lock)
  std::map<std::pair<std::string, std::string>, Endpoint> endpoints;  // GUARDED_BY(lock)
  std::map<std::string, std::deque<FakeFault>> faults;        // GUARDED_BY(lock)
  std::vector<FakeCall> calls;                                // GUARDED_BY(lock)
  bool recordBodies = true;                                   // GUARDED_BY(lock)

 private:
  std::optional<FakeFault> takeFault(const std::string& path);
  void sleepUnlessStopping(std::chrono::milliseconds delay);
  FakeReply answer(const FakeCall& call, const std::optional<Endpoint>& endpoint);
  void checkSignature(FakeCall& call, const std::optional<Endpoint>& endpoint) const;
};

FakeService::Impl::Impl(Options options) : https(options.https) {
  if (https) {
    certificate = std::make_unique<FakeCertificate>();
    server = std::make_unique<httplib::SSLServer>(certificate->certificate(), certificate->key());
  } else {
    server = std::make_unique<httplib::Server>();
  }
  if (!server->is_valid()) throw std::runtime_error("fake service: server not valid");
  const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
    serve(request, response);
  };
  server->Get(".*", handler).Post(".*", handler).Put(".*", handler).Delete(".*", handler);

  if (options.port == 0) {
    const int bound = server->bind_to_any_port("127.0.0.1");
    if (bound <= 0) throw std::runtime_error("fake service: cannot bind");
    port = static_cast<uint16_t>(bound);
  } else {
    if (!server->bind_to_port("127.0.0.1", options.port)) {
      throw std::runtime_error("fake service: cannot bind port " + std::to_string(options.port));
    }
    port = options.port;
  }
  thread = std::thread([this] { server->listen_after_bind(); });
  // stop() is a no-op until the accept loop runs, so wait for it.
  while (!server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void FakeService::Impl::stop() {
  {
    std::lock_guard guard(lock);
    stopping = true;
  }
  wake.notify_all();
  server->stop();
  if (thread.joinable()) thread.join();
}

std::optional<FakeFault> FakeService::Impl::takeFault(const std::string& path) {
  std::lock_guard guard(lock);
  const auto found = faults.find(path);
  if (found == faults.end() || found->second.empty()) return std::nullopt;
  FakeFault fault = found->second.front();
  auto& front = found->second.front();
  if (front.remaining > 0 && --front.remaining == 0) found->second.pop_front();
  return fault;
}

void FakeService::Impl::sleepUnlessStopping(std::chrono::milliseconds delay) {
  std::unique_lock guard(lock);
  wake.wait_for(guard, delay, [this] { return stopping; });
}

void FakeService::Impl::checkSignature(FakeCall& call, const std::optional<Endpoint>& endpoint) const {
  if (!endpoint || !endpoint->rules.isSigned) return;
  call.signatureValid = fakesig::verify(call.params, endpoint->rules.unsignedParams, call.signatureProblem);
}

FakeReply FakeService::Impl::answer(const FakeCall& call, const std::optional<Endpoint>& endpoint) {
  if (!endpoint) return FakeReply::error(404, 404, "no such endpoint");
  if (call.signatureValid == false) return FakeReply::error(400, kBadSignature, "invalid sign");
  if (endpoint->rules.needsToken) {
    switch (tokens.state(call.param("token").value_or(""))) {
      case FakeTokens::State::Live: break;
      case FakeTokens::State::Expired: return FakeReply::error(401, kTokenExpired, "token expired");
      case FakeTokens::State::Unknown: return FakeReply::error(401, kTokenUnknown, "invalid token");
    }
  }
  return endpoint->handler(call);
}

void FakeService::Impl::serve(const httplib::Request& request, httplib::Response& response) {
  FakeCall call = readCall(request);
  std::optional<Endpoint> endpoint;
  {
    std::lock_guard guard(lock);
    if (const auto found = endpoints.find({call.method, call.path}); found != endpoints.end()) {
      endpoint = found->second;
    }
  }
  checkSignature(call, endpoint);
  {
    std::lock_guard guard(lock);
    calls.push_back(call);
    if (!recordBodies) calls.back().body.clear();
  }

  std::optional<FakeFault> fault = takeFault(call.path);
  using Kind = FakeFault::Kind;
  if (fault && fault->kind == Kind::Delay) sleepUnlessStopping(fault->delay);
  // The change is made; only the answer is lost on its way back.
  if (fault && fault->kind == Kind::DropAfterAnswer) (void)answer(call, endpoint);
  if (fault && (fault->kind == Kind::Drop || fault->kind == Kind::DropAfterAnswer)) {
    // Promise a body and stop partway: the client sees the connection go.
    response.status = 200;
    response.set_content_provider(64, "application/json", [](size_t, size_t, httplib::DataSink& sink) {
      sink.write("{\"par", 5);
      return false;
    });
    return;
  }

  FakeReply reply;
  if (fault && fault->kind == Kind::ErrorCode) {
    reply = FakeReply::error(fault->status, fault->code, fault->text);
  } else if (fault && fault->kind == Kind::BareStatus) {
    reply = FakeReply::text("", fault->status);
  } else if (fault && fault->kind == Kind::Body) {
    reply = FakeReply::text(fault->text, 200);
  } else {
    reply = answer(call, endpoint);
  }

  response.status = reply.status;
  if (!(fault && fault->kind == Kind::NoMarker)) {
    const bool lower = fault && fault->kind == Kind::LowerCaseMarker;
    response.set_header(kMarkerName, lower ? "nubren" : kMarkerValue);
  }
  for (const auto& [name, value] : reply.headers) response.set_header(name, value);
  if (!reply.body.empty()) response.set_content(reply.body, reply.contentType);
}

FakeService::FakeService(Options options) : impl_(std::make_unique<Impl>(options)) {}

FakeService::~FakeService() = default;

void FakeService::stop() { impl_->stop(); }

uint16_t FakeService::port() const { return impl_->port; }

std::string FakeService::host() const { return "127.0.0.1:" + std::to_string(impl_->port); }

std::string FakeService::baseUrl() const { return (impl_->https ? "https://" : "http://") + host(); }

std::filesystem::path FakeService::caFile() const {
  return impl_->certificate ? impl_->certificate->pemFile() : std::filesystem::path();
}

void FakeService::on(const std::string& method, const std::string& path, FakeHandler handler,
                     FakeEndpointRules rules) {
  std::lock_guard guard(impl_->lock);
  impl_->endpoints[{method, path}] = Endpoint{std::move(handler), std::move(rules)};
}

void FakeService::fail(const std::string& path, FakeFault fault) {
  std::lock_guard guard(impl_->lock);
  impl_->faults[path].push_back(std::move(fault));
}

void FakeService::clearFaults() {
  std::lock_guard guard(impl_->lock);
  impl_->faults.clear();
}

FakeTokens& FakeService::tokens() { return impl_->tokens; }

void FakeService::setRecordBodies(bool record) {
  std::lock_guard guard(impl_->lock);
  impl_->recordBodies = record;
}

std::vector<FakeCall> FakeService::calls() const {
  std::lock_guard guard(impl_->lock);
  return impl_->calls;
}

std::vector<FakeCall> FakeService::callsTo(const std::string& path) const {
  std::lock_guard guard(impl_->lock);
  std::vector<FakeCall> matching;
  for (const auto& call : impl_->calls) {
    if (call.path == path) matching.push_back(call);
  }
  return matching;
}

void FakeService::clearCalls() {
  std::lock_guard guard(impl_->lock);
  impl_->calls.clear();
}

}  // namespace nb::test
