#pragma once
// The sign-in and account page functions: sign-in by account and by key,
// the account re-read, the session start and log-off (SignInFunctions.cpp),
// and the session, deployment and cache readers (AccountFunctions.cpp).

namespace nb::bridge {

// Registers every body of the group.
void registerSignInFunctions();
// The readers' half; registerSignInFunctions calls it.
void registerAccountFunctions();

}  // namespace nb::bridge
