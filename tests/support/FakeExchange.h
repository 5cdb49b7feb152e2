#pragma once
// What the fake service hands its endpoint handlers and keeps for tests
// (FakeCall), what a handler answers (FakeReply), and the rules the service
// enforces before a handler runs (FakeEndpointRules).

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/FakeSignature.h"

namespace nb::test {

using FakeHeaders = std::vector<std::pair<std::string, std::string>>;

// One request as the fake service received it.
struct FakeCall {
  std::string method;
  std::string path;       // without the query
  std::string query;      // raw, as on the wire
  FakeHeaders headers;    // names as sent
  std::string body;       // raw
  FakeParams params;      // query then form body, wire order, values decoded once
  // Nothing for endpoints that are not signed; else whether "sign" was right,
  // with the reason in signatureProblem when it was not.
  std::optional<bool> signatureValid;
  std::string signatureProblem;

  // Header lookup ignoring the case of the name; nothing when absent.
  std::optional<std::string> header(std::string_view name) const;
  std::optional<std::string> param(std::string_view name) const;
  std::vector<std::string> paramNames() const;
};

// A handler's answer. The service adds the marker unless told otherwise.
struct FakeReply {
  int status = 200;
  std::string body;
  std::string contentType = "application/json";
  FakeHeaders headers;

  static FakeReply json(const nlohmann::json& value, int status = 200);
  static FakeReply text(std::string body, int status = 200);
  // {"error_code":code,"error_msg":message} with the given status.
  static FakeReply error(int status, int errorCode, std::string message);
};

struct FakeEndpointRules {
  // "sign" must be present and right; the answer is 400 with
  // FakeService::kBadSignature otherwise.
  bool isSigned = true;
  // Parameters that are sent but not covered by the signature; they may
  // follow "sign".
  std::vector<std::string> unsignedParams;
  // "token" must be a live access token; the answer is 401 with
  // FakeService::kTokenExpired or kTokenUnknown otherwise.
  bool needsToken = true;
};

// An endpoint that checks neither signature nor token.
inline const FakeEndpointRules kOpenEndpoint{.isSigned = false, .needsToken = false};

using FakeHandler = std::function<FakeReply(const FakeCall&)>;

}  // namespace nb::test
