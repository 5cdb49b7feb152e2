#pragma once
// The seams of the session's background token refresh that the layers
// below the shell can serve: clearing the stored sign-in of the settings
// store after a refused refresh token, and reloading the account settings
// into the catalogue and the sync centre's delay list after a good refresh.
// The shell calls registerSessionSeams once at start-up, before other
// threads start; tests that need the real stores behind the session call it
// too.

#include <string>

namespace nb {

// Sets the session's clearuserinfo and reloadAccountSettings hooks to the
// two functions below; the session's other hooks are kept as they are.
void registerSessionSeams();

// Clears the saved sign-in of the process-wide settings store.
void clearStoredSignIn();

// Fetches the account settings with `token`. On a 200: removes the
// catalogue's stored server settings, clears the sync centre's delay list,
// then stores every setting in the answer's order and hands the property
// text of each "delay_sync_file" setting to the delay list. Any other answer
// changes nothing. Answers whether the settings were replaced.
bool reloadAccountSettings(const std::string& token);

}  // namespace nb
