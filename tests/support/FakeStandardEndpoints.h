#pragma once
// A bare token endpoint for tests that want nothing else of the service.
// The full set of endpoints with an account behind them is FakeDemo (the
// standalone development server runs one).

#include "support/FakeService.h"

namespace nb::test {

// POST /oauth2/token2 with grant_type=refresh_token: signed, no token
// needed; answers a fresh pair from service.tokens(), or 400 with
// {"error":"invalid_grant"} for a refresh token that is not live.
void installTokenEndpoint(FakeService& service);

// Everything above.
void installStandardEndpoints(FakeService& service);

}  // namespace nb::test
