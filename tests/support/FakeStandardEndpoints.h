#pragma once
// The endpoints the fake service speaks by default, installed by tests that
// want them and by the standalone development server. Each capability adds
// its own install function here as it grows.

#include "support/FakeService.h"

namespace nb::test {

// POST /oauth2/token2 with grant_type=refresh_token: signed, no token
// needed; answers a fresh pair from service.tokens(), or 400 with
// {"error":"invalid_grant"} for a refresh token that is not live.
void installTokenEndpoint(FakeService& service);

// Everything above.
void installStandardEndpoints(FakeService& service);

}  // namespace nb::test
