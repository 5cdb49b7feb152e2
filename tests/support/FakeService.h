#pragma once
// An in-process stand-in for the service: a loopback HTTP or HTTPS server on
// 127.0.0.1 and a free port. Endpoints are registered handlers keyed by
// method and path; before a handler runs the service checks the signature and
// the token as the endpoint's rules say, and every answer carries the marker
// "X-SERVER: NUBREN". Tests inject faults per path, issue and expire tokens,
// and read back every request received.
//
// Later capabilities (file trees per library, the change feed, storage
// servers) are separate classes that register their endpoints here with on();
// a storage server is simply another FakeService.
//
// All members are safe to call from the test thread while requests are served.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/FakeExchange.h"
#include "support/FakeFault.h"
#include "support/FakeTokens.h"

namespace nb::test {

class FakeService {
 public:
  // Error codes of the service's own refusals.
  static constexpr int kTokenUnknown = 40101;
  static constexpr int kTokenExpired = 40102;
  static constexpr int kBadSignature = 40003;

  struct Options {
    bool https = false;  // serve TLS with a fresh self-signed certificate
    uint16_t port = 0;   // 0: any free port
  };

  FakeService() : FakeService(Options{}) {}
  // Starts serving before it returns. Throws std::runtime_error when the
  // port cannot be bound or the certificate cannot be made.
  explicit FakeService(Options options);
  ~FakeService();  // stops; a delayed answer in progress is cut short
  // Stops answering (as the destructor does); for services whose handlers
  // use objects that go away before the service itself does.
  void stop();
  FakeService(const FakeService&) = delete;
  FakeService& operator=(const FakeService&) = delete;

  uint16_t port() const;
  std::string host() const;     // "127.0.0.1:<port>", the form of an API host
  std::string baseUrl() const;  // "<scheme>://127.0.0.1:<port>"
  // PEM of the self-signed certificate, to be named as the CA file; empty for
  // plain HTTP.
  std::filesystem::path caFile() const;

  // Registers (or replaces) the endpoint for `method` and exact `path`.
  void on(const std::string& method, const std::string& path, FakeHandler handler,
          FakeEndpointRules rules = {});

  // Faults by path, whatever the method; a later fault on the same path
  // waits until the earlier one is used up.
  void fail(const std::string& path, FakeFault fault);
  void clearFaults();

  FakeTokens& tokens();

  // Every request received, oldest first (also refused and unknown ones).
  std::vector<FakeCall> calls() const;
  std::vector<FakeCall> callsTo(const std::string& path) const;
  void clearCalls();
  // false: requests are recorded without their bodies (large uploads).
  void setRecordBodies(bool record);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace nb::test
