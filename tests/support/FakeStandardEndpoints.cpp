#include "support/FakeStandardEndpoints.h"

#include <ctime>

namespace nb::test {

void installTokenEndpoint(FakeService& service) {
  const FakeEndpointRules rules{.isSigned = true, .needsToken = false};
  service.on("POST", "/oauth2/token2", [&service](const FakeCall& call) {
    if (call.param("grant_type") != "refresh_token") {
      return FakeReply::json({{"error", "unsupported_grant_type"}}, 400);
    }
    const auto pair = service.tokens().refresh(call.param("refresh_token").value_or(""));
    if (!pair) {
      return FakeReply::json({{"error", "invalid_grant"}, {"error_description", "refresh token refused"}}, 400);
    }
    return FakeReply::json({{"access_token", pair->accessToken},
                            {"refresh_token", pair->refreshToken},
                            {"expires_in", 3600},
                            {"dateline", static_cast<int64_t>(std::time(nullptr))},
                            {"api_host", service.host() + "/m-api"}});
  }, rules);
}

void installStandardEndpoints(FakeService& service) { installTokenEndpoint(service); }

}  // namespace nb::test
