#include "support/FakeUpdateHost.h"

namespace nb::test {

namespace {

FakeReply binary(int status, std::string body) {
  FakeReply reply = FakeReply::text(std::move(body), status);
  reply.contentType = "application/zip";
  return reply;
}

}  // namespace

FakeUpdateHost::FakeUpdateHost(FakeService& service) : service_(service) {
  auto state = state_;
  service.on(
      "GET", "/update/app",
      [state](const FakeCall&) {
        std::lock_guard lock(state->mutex);
        if (state->offer.empty()) return FakeReply::text("", 404);
        return FakeReply::text(state->offer);
      },
      kOpenEndpoint);
  service.on(
      "GET", "/update/gui",
      [state](const FakeCall&) {
        std::lock_guard lock(state->mutex);
        return binary(state->ui.status, state->ui.body);
      },
      kOpenEndpoint);
  service.on(
      "GET", "/update/custom",
      [state](const FakeCall&) {
        std::lock_guard lock(state->mutex);
        return binary(state->config.status, state->config.body);
      },
      kOpenEndpoint);
}

void FakeUpdateHost::setOffer(const std::string& body) {
  std::lock_guard lock(state_->mutex);
  state_->offer = body;
}

void FakeUpdateHost::setUiPackage(std::string body, int status) {
  std::lock_guard lock(state_->mutex);
  state_->ui = {body.empty() ? 404 : status, std::move(body)};
}

void FakeUpdateHost::setConfigPackage(std::string body, int status) {
  std::lock_guard lock(state_->mutex);
  state_->config = {status, std::move(body)};
}

std::string FakeUpdateHost::serveFile(const std::string& name, std::string bytes) {
  const std::string path = "/files/" + name;
  service_.on(
      "GET", path, [bytes = std::move(bytes)](const FakeCall&) { return binary(200, bytes); },
      kOpenEndpoint);
  return service_.baseUrl() + path;
}

}  // namespace nb::test
