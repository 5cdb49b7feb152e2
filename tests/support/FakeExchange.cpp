#include "support/FakeExchange.h"

#include <algorithm>

#include "support/FakeFault.h"

namespace nb::test {

namespace {

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::optional<std::string> FakeCall::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (sameName(key, name)) return value;
  }
  return std::nullopt;
}

std::optional<std::string> FakeCall::param(std::string_view name) const {
  for (const auto& [key, value] : params) {
    if (key == name) return value;
  }
  return std::nullopt;
}

std::vector<std::string> FakeCall::paramNames() const {
  std::vector<std::string> names;
  for (const auto& entry : params) names.push_back(entry.first);
  return names;
}

FakeReply FakeReply::json(const nlohmann::json& value, int status) {
  return FakeReply{.status = status, .body = value.dump()};
}

FakeReply FakeReply::text(std::string body, int status) {
  return FakeReply{.status = status, .body = std::move(body), .contentType = "text/plain"};
}

FakeReply FakeReply::error(int status, int errorCode, std::string message) {
  return json({{"error_code", errorCode}, {"error_msg", std::move(message)}}, status);
}

FakeFault FakeFault::errorCode(int code, int status, std::string message) {
  return FakeFault{.kind = Kind::ErrorCode, .status = status, .code = code, .text = std::move(message)};
}

FakeFault FakeFault::bareStatus(int status) {
  return FakeFault{.kind = Kind::BareStatus, .status = status};
}

FakeFault FakeFault::body(std::string raw) {
  return FakeFault{.kind = Kind::Body, .status = 200, .text = std::move(raw)};
}

FakeFault FakeFault::noMarker() { return FakeFault{.kind = Kind::NoMarker}; }

FakeFault FakeFault::lowerCaseMarker() { return FakeFault{.kind = Kind::LowerCaseMarker}; }

FakeFault FakeFault::slow(std::chrono::milliseconds delay) {
  return FakeFault{.kind = Kind::Delay, .delay = delay};
}

FakeFault FakeFault::drop() { return FakeFault{.kind = Kind::Drop}; }

FakeFault FakeFault::dropAfterAnswer() { return FakeFault{.kind = Kind::DropAfterAnswer}; }

}  // namespace nb::test
